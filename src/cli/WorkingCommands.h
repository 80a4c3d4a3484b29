#pragma once

#include <array>
#include <chrono>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "cli/CommandContext.h"
#include "core/store/TaskStatus.h"

namespace kestrin {

// The working commands: tick steps, snooze, set a status, hand back (resume),
// close, cancel and delete. Each goes through the same store operations the
// desktop app's model calls (setStepCompleted, setStatus, deleteTasks), so a
// task worked here is stored exactly as one worked in the app. Each returns
// an exit status; failures are written to stderr with the system's texts.
class WorkingCommands {
public:
    // The desktop app's snooze choices, by their command-line names.
    struct SnoozeChoice {
        std::string_view name;
        std::chrono::seconds duration;
    };
    static constexpr std::array<SnoozeChoice, 3> snoozeChoices{{
        {"15m", std::chrono::seconds(900)},
        {"1h", std::chrono::seconds(3600)},
        {"tomorrow", std::chrono::seconds(86400)},
    }};

    explicit WorkingCommands(CommandContext& context) : context_(context) {}

    // Ticks (or with `undo` unticks) one step of the task's item; a step
    // identifier the item does not have is refused.
    int step(const std::string& taskKey, const std::string& stepID, bool undo);
    // Snoozes the task until now + `duration`.
    int snooze(const std::string& taskKey, std::chrono::seconds duration);
    // Sets `status` without a wake-up time.
    int status(const std::string& taskKey, TaskStatus status);
    // Shows the task's note; with `text` stores it ("-" reads it from standard
    // input), with `clear` removes it.
    int note(const std::string& taskKey, const std::optional<std::string>& text, bool clear);
    // Prints the resume message for the task and its stored note, marks the
    // task ready to resume, and says on stderr that the agent may read the
    // result itself. `notes`, when given, is stored as the note first. Refused
    // while any step is not ticked, unless `force`. With `printCommand` only
    // prints the command that continues the agent's session in a terminal
    // (refused when the receipt names none) and changes nothing. Refused when
    // the message looks like it holds a secret, unless `allowSecret` (then the
    // findings still go to stderr).
    int resume(const std::string& taskKey, const std::optional<std::string>& notes, bool force,
               bool printCommand, bool allowSecret);
    // Closes a task that is ready to resume as completed.
    int close(const std::string& taskKey);
    // Cancels and closes an open task that is not ready to resume.
    int cancel(const std::string& taskKey);
    // Deletes the tasks, all or none.
    int remove(const std::set<std::string>& taskKeys);

private:
    // Exact when piped (into a clipboard tool); on a terminal the agent's and
    // the user's texts must not steer the terminal.
    std::string printed(const std::string& text) const;

    CommandContext& context_;
};

}  // namespace kestrin
