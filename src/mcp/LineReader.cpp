#include "mcp/LineReader.h"

#include "mcp/UTF8Repair.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace kestrin {

std::optional<std::string_view> LineReader::next() {
    releaseLargeBuffer();
    if (!std::getline(input_, line_)) return std::nullopt;
    const bool endedByLineFeed = !input_.eof();
    if (endedByLineFeed && !line_.empty() && line_.back() == '\r') line_.pop_back();
    line_ = replacingInvalidUTF8(std::move(line_));
    return std::string_view(line_);
}

void LineReader::releaseLargeBuffer() {
    if (line_.capacity() <= retainedCapacity) return;
    std::string().swap(line_);
#if defined(__GLIBC__)
    // Parsing a huge line leaves many freed blocks that the allocator would
    // otherwise keep for the life of the process; hand them back now.
    malloc_trim(0);
#endif
}

}  // namespace kestrin
