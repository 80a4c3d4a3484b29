#pragma once

#include <string>

namespace kestrin {

// Text written for a POSIX shell, for commands the user copies or runs.
struct ShellWord {
    // `text` as one word: unchanged when it holds only characters no shell
    // treats specially, else in single quotes (a quote inside as '\'').
    static std::string quoted(const std::string& text);
};

}  // namespace kestrin
