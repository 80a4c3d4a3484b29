#pragma once

#include <QString>
#include <string_view>

namespace kestrin {

// The core's UTF-8 text as a QString.
inline QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

}  // namespace kestrin
