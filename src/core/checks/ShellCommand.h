#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kestrin {

// One simple command as a shell would run it, read by ShellCommandReader.
struct ShellCommand {
    // The words after quote removal. Expansions are not performed: "$HOME"
    // stays "$HOME", and a command substitution reads as "$()".
    std::vector<std::string> words;
    // Per word: it held an unquoted "*", "?" or "[" that the shell would
    // expand as a file name pattern.
    std::vector<bool> globs;
    // Targets of output redirections (>, >>, >|, &>, 2> ...), in order.
    std::vector<std::string> outputs;
    // What the command reads on standard input from a here-document or a
    // here-string, when it has one.
    std::string input;
    // Commands of the same pipeline share `pipeline`; `stage` counts from 0.
    std::size_t pipeline = 0;
    std::size_t stage = 0;
    // Indexes (into the same reading) of the commands inside this command's
    // command substitutions, process substitutions and parenthesised argument
    // groups (PowerShell's "iex (irm ...)").
    std::vector<std::size_t> substituted;
};

}  // namespace kestrin
