#include "mcp/FileDescriptorStreamBuffer.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace kestrin {

namespace {

// Whether a failed call should simply be tried again: after an interruption,
// or, on a non-blocking descriptor, once it is ready for `events`.
bool shouldRetry(int descriptor, short events) {
    if (errno == EINTR) return true;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
    pollfd ready{descriptor, events, 0};
    return ::poll(&ready, 1, -1) >= 0 || errno == EINTR;
}

}  // namespace

FileDescriptorStreamBuffer::int_type FileDescriptorStreamBuffer::underflow() {
    while (true) {
        const ssize_t count = ::read(descriptor_, input_.data(), input_.size());
        if (count > 0) {
            setg(input_.data(), input_.data(), input_.data() + count);
            return traits_type::to_int_type(input_[0]);
        }
        if (count == 0 || !shouldRetry(descriptor_, POLLIN)) return traits_type::eof();
    }
}

std::streamsize FileDescriptorStreamBuffer::xsputn(const char* data, std::streamsize count) {
    std::streamsize written = 0;
    while (written < count) {
        const ssize_t result =
            ::write(descriptor_, data + written, static_cast<std::size_t>(count - written));
        if (result >= 0) {
            written += result;
        } else if (!shouldRetry(descriptor_, POLLOUT)) {
            break;
        }
    }
    return written;
}

FileDescriptorStreamBuffer::int_type FileDescriptorStreamBuffer::overflow(int_type character) {
    if (traits_type::eq_int_type(character, traits_type::eof())) {
        return traits_type::not_eof(character);
    }
    const char byte = traits_type::to_char_type(character);
    return xsputn(&byte, 1) == 1 ? character : traits_type::eof();
}

}  // namespace kestrin
