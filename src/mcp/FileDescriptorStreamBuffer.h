#pragma once

#include <streambuf>

namespace kestrin {

// An unbuffered output stream buffer over a file descriptor: every sputn()
// (and so every std::ostream::write) goes out as one write() at once, retried
// only for interruptions and partial writes. A failed write (EPIPE when the
// reader has gone, with SIGPIPE ignored) makes the stream fail, never the
// process. The descriptor is not closed.
class FileDescriptorStreamBuffer : public std::streambuf {
  public:
    explicit FileDescriptorStreamBuffer(int descriptor) : descriptor_(descriptor) {}

  protected:
    std::streamsize xsputn(const char* data, std::streamsize count) override;
    int_type overflow(int_type character) override;

  private:
    int descriptor_;
};

}  // namespace kestrin
