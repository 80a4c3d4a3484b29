#include "core/support/ShellWord.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace kestrin {

std::string ShellWord::quoted(const std::string& text) {
    const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) ||
               std::string_view("-_./:=@%+,").find(c) != std::string_view::npos;
    });
    if (plain) return text;
    std::string word = "'";
    for (char c : text) {
        if (c == '\'') {
            word += "'\\''";
        } else {
            word += c;
        }
    }
    return word + "'";
}

}  // namespace kestrin
