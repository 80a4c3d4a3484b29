#include "mcp/FileDescriptorStreamBuffer.h"

#include <unistd.h>

#include <cerrno>

namespace kestrin {

std::streamsize FileDescriptorStreamBuffer::xsputn(const char* data, std::streamsize count) {
    std::streamsize written = 0;
    while (written < count) {
        const ssize_t result =
            ::write(descriptor_, data + written, static_cast<std::size_t>(count - written));
        if (result < 0) {
            if (errno == EINTR) continue;
            break;
        }
        written += result;
    }
    return written;
}

FileDescriptorStreamBuffer::int_type FileDescriptorStreamBuffer::overflow(int_type character) {
    if (traits_type::eq_int_type(character, traits_type::eof()))
        return traits_type::not_eof(character);
    const char byte = traits_type::to_char_type(character);
    return xsputn(&byte, 1) == 1 ? character : traits_type::eof();
}

}  // namespace kestrin
