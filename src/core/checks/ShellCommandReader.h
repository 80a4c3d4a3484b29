#pragma once

#include <string_view>
#include <vector>

#include "core/checks/ShellCommand.h"

namespace kestrin {

// Splits a command line into the simple commands a POSIX shell would run,
// without running or expanding anything: quotes ('…', "…", $'…') and
// backslashes are removed, comments dropped, and the commands are cut at
// pipes, "&&", "||", ";", "&", line breaks and parentheses. Commands inside
// $(…), `…`, <(…), >(…) and parenthesised groups are read too, so what is
// only quoted text (echo "rm -rf /") never reads as a command, while what a
// substitution would run does. Here-document bodies become the input of their
// command, not commands. Stateless.
class ShellCommandReader {
  public:
    // Every simple command of `script` in the order it ends (a command inside
    // a substitution before the command holding it). Never fails: unbalanced
    // quotes run to the end, and nesting deeper than a fixed limit reads as
    // plain text. Time and memory grow linearly with the length of `script`.
    std::vector<ShellCommand> read(std::string_view script) const;
};

}  // namespace kestrin
