#pragma once

#include <string_view>
#include <vector>

#include "core/checks/CommandRisk.h"
#include "core/receipt/ActionStep.h"
#include "core/receipt/ReceiptProject.h"

namespace kestrin {

// Decides which risks a step's command carries, for the user who is about to
// copy and run it: running downloaded code, recursive deletion, privilege
// raising, discarding work or history, destroying data, and opening
// permissions or turning protection off. The command is read as a shell reads
// it (ShellCommandReader), so words that are only quoted text or arguments of
// another program (echo "rm -rf /", grep sudo notes.txt, man dd) raise
// nothing, while "sh -c", "eval", "su -c" and a shell fed by a here-document
// are read a level deeper. Flags are advice: nothing is ever refused for them.
// Stateless.
class CommandRiskPolicy {
  public:
    // The risks of running `command` from `workingDirectory` (relative to
    // `projectPath` when relative, the project path itself when empty), each
    // at most once, in the order of CommandRisk. A recursive deletion reports
    // deletesOutsideProject instead of deletesRecursively when a target is
    // "/", "~", "$HOME", a bare "*", the project itself or a path outside
    // `projectPath`. Any bytes are safe; time grows linearly with the length.
    std::vector<CommandRisk> assess(std::string_view command, std::string_view projectPath,
                                    std::string_view workingDirectory = {}) const;

    // The risks of `step`'s command in `project`; none without a command.
    std::vector<CommandRisk> assess(const ActionStep& step, const ReceiptProject& project) const;
};

}  // namespace kestrin
