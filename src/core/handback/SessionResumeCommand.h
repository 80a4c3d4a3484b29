#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/store/TaskRecord.h"

namespace kestrin {

// The command line that continues a task's agent session in a terminal:
// `claude --resume <session id>`, `opencode --session <session id>` or
// `codex resume <thread id>`, run in the project's directory. The identifier
// is taken only when it matches that agent's own format exactly, so nothing
// else an agent wrote reaches a command line; the command is an argument
// vector, meant to be started without a shell.
struct SessionResumeCommand {
    std::vector<std::string> arguments;  // program first
    std::string workingDirectory;        // the project's absolute path

    // The command for `task`, or none when its source names no resumable
    // session or its project path is not absolute:
    // - Claude Code: the task identifier (trimmed) is a lower-case UUID;
    // - OpenCode: the task identifier (trimmed) is "ses_" + 26 letters or digits;
    // - Codex: the thread the Codex link resolver trusts (locator or identifier).
    static std::optional<SessionResumeCommand> forTask(const TaskRecord& task);

    // One line for a POSIX shell, every word quoted where needed:
    // cd '<path>' && claude --resume <id>
    std::string shellLine() const;

    bool operator==(const SessionResumeCommand&) const = default;
};

}  // namespace kestrin
