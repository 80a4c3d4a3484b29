#pragma once

#include <array>
#include <streambuf>

namespace kestrin {

// A stream buffer over a file descriptor, for the server's standard input and
// output. Reading is buffered; writing is not: every sputn() (and so every
// std::ostream::write) goes out at once as one write(), repeated only after an
// interruption or a partial write. A descriptor the client left non-blocking
// is waited on rather than taken for closed. A failed write (EPIPE once the
// reader has gone, with SIGPIPE ignored) makes the stream fail, never the
// process. The descriptor is not closed.
class FileDescriptorStreamBuffer : public std::streambuf {
public:
    explicit FileDescriptorStreamBuffer(int descriptor) : descriptor_(descriptor) {}

protected:
    int_type underflow() override;
    std::streamsize xsputn(const char* data, std::streamsize count) override;
    int_type overflow(int_type character) override;

private:
    int descriptor_;
    std::array<char, 1 << 16> input_{};
};

}  // namespace kestrin
