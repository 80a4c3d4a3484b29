#pragma once

#include <array>
#include <chrono>
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
    // Prints the resume message for the task and the user's `notes`, and marks
    // the task ready to resume. Refused while any step is not ticked, unless
    // `force`; refused when the message looks like it holds a secret, unless
    // `allowSecret` (then the finding is still written to stderr).
    int resume(const std::string& taskKey, const std::string& notes, bool force,
               bool allowSecret);
    // Closes a task that is ready to resume as completed.
    int close(const std::string& taskKey);
    // Cancels and closes an open task that is not ready to resume.
    int cancel(const std::string& taskKey);
    // Deletes the tasks, all or none.
    int remove(const std::set<std::string>& taskKeys);

private:
    CommandContext& context_;
};

}  // namespace kestrin
