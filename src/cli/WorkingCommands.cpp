#include "cli/WorkingCommands.h"

#include <algorithm>
#include <sstream>

#include "cli/HumanOutput.h"
#include "cli/TerminalText.h"
#include "core/intake/AgentResultTool.h"
#include "core/handback/ResumeMessageBuilder.h"
#include "core/handback/ResumeMessageGuard.h"
#include "core/handback/SessionResumeCommand.h"
#include "core/receipt/Timestamp.h"

namespace kestrin {

namespace {

constexpr std::string_view readFailureTitle = "无法读取任务";
constexpr std::string_view stepFailureTitle = "无法更新步骤";
constexpr std::string_view statusFailureTitle = "无法更新状态";
constexpr std::string_view noteFailureTitle = "无法保存备注";

std::string quoted(const TaskRecord& task) {
    return "“" + task.item.title + "”";
}

std::string statusName(TaskStatus status) {
    return "“" + std::string(displayName(status)) + "”";
}

// Every step of the item is ticked. Counting ticks alone could be fooled by a
// tick whose step the item no longer has.
bool allStepsDone(const TaskRecord& task) {
    return std::all_of(task.item.steps.begin(), task.item.steps.end(),
                       [&task](const ActionStep& step) { return task.isStepComplete(step.id); });
}

}  // namespace

int WorkingCommands::step(const std::string& taskKey, const std::string& stepID, bool undo) {
    if (!context_.open()) return exitRefused;
    auto task = context_.store().task(taskKey);
    if (!task) return context_.refuse(stepFailureTitle, task.error());
    const auto& steps = task->item.steps;
    const auto found = std::find_if(steps.begin(), steps.end(), [&stepID](const ActionStep& step) {
        return step.id == stepID;
    });
    if (found == steps.end()) {
        return context_.refuse(std::string(stepFailureTitle) + "：" + quoted(*task) + "没有步骤 " +
                               stepID + "。");
    }
    if (auto changed = context_.store().setStepCompleted(taskKey, stepID, !undo); !changed) {
        return context_.refuse(stepFailureTitle, changed.error());
    }
    context_.output() << "第 " << found->order << " 步，" << (undo ? "未完成" : "已完成") << '\n';
    return exitSuccess;
}

int WorkingCommands::snooze(const std::string& taskKey, std::chrono::seconds duration) {
    if (!context_.open()) return exitRefused;
    const Timestamp until = currentTimestamp() + duration;
    if (auto changed = context_.store().setStatus(taskKey, TaskStatus::snoozed, until); !changed) {
        return context_.refuse(statusFailureTitle, changed.error());
    }
    context_.output() << "已暂缓到 " << HumanOutput::localTime(until) << '\n';
    return exitSuccess;
}

int WorkingCommands::status(const std::string& taskKey, TaskStatus status) {
    if (!context_.open()) return exitRefused;
    if (auto changed = context_.store().setStatus(taskKey, status, std::nullopt); !changed) {
        return context_.refuse(statusFailureTitle, changed.error());
    }
    context_.output() << "状态已改为" << statusName(status) << '\n';
    return exitSuccess;
}

int WorkingCommands::note(const std::string& taskKey, const std::optional<std::string>& text,
                          bool clear) {
    if (!context_.open()) return exitRefused;
    auto task = context_.store().task(taskKey);
    if (!task) return context_.refuse(readFailureTitle, task.error());
    if (!clear && !text) {
        auto stored = context_.store().note(taskKey);
        if (!stored) return context_.refuse(readFailureTitle, stored.error());
        if (!stored->empty()) context_.output() << printed(*stored) << '\n';
        return exitSuccess;
    }
    std::string newText;
    if (text && *text == "-") {
        // Through a string stream: g++ 12 at -O2 warns falsely
        // (-Wnull-dereference) on a string built from istreambuf_iterators.
        std::ostringstream read;
        read << context_.input().rdbuf();
        newText = std::move(read).str();
    } else if (text) {
        newText = *text;
    }
    if (auto saved = context_.store().setNote(taskKey, newText); !saved) {
        return context_.refuse(noteFailureTitle, saved.error());
    }
    context_.output() << (newText.empty() ? "备注已清除" : "备注已保存") << '\n';
    return exitSuccess;
}

int WorkingCommands::resume(const std::string& taskKey, const std::optional<std::string>& notes,
                            bool force, bool printCommand, bool allowSecret) {
    if (!context_.open()) return exitRefused;
    auto task = context_.store().task(taskKey);
    if (!task) return context_.refuse(readFailureTitle, task.error());
    if (printCommand) {
        const auto command = SessionResumeCommand::forTask(*task);
        if (!command) return context_.refuse("这张回执没有指明可以在终端里恢复的 Agent 会话。");
        context_.output() << command->shellLine() << '\n';
        return exitSuccess;
    }
    // Stored first: the user's words are kept even when the hand-back is refused.
    if (notes) {
        if (auto saved = context_.store().setNote(taskKey, *notes); !saved) {
            return context_.refuse(noteFailureTitle, saved.error());
        }
    }
    auto note = context_.store().note(taskKey);
    if (!note) return context_.refuse(readFailureTitle, note.error());
    if (!force && !allStepsDone(*task)) {
        return context_.refuse("还有步骤未完成：请按顺序完成并核对所有步骤，再生成恢复消息。");
    }
    const std::string message = ResumeMessageBuilder().build(*task, *note);
    // Standard output usually goes straight to a clipboard or an agent.
    if (const auto secret = ResumeMessageGuard().check(message)) {
        if (!allowSecret) {
            return context_.refuse(secret->description() + "确实要输出时，加上 --allow-secret。");
        }
        context_.warn(secret->description());
    }
    // Marked first, so success always means printed and marked.
    if (auto changed = context_.store().setStatus(taskKey, TaskStatus::readyToResume, std::nullopt);
        !changed) {
        return context_.refuse(statusFailureTitle, changed.error());
    }
    // Exact when piped (into a clipboard tool); on a terminal the agent's texts
    // in it must not steer the terminal.
    context_.output() << printed(message) << '\n';
    context_.warn(AgentResultTool::humanHint);
    return exitSuccess;
}

std::string WorkingCommands::printed(const std::string& text) const {
    return context_.console().outputIsTerminal ? TerminalText::printable(text, true) : text;
}

int WorkingCommands::close(const std::string& taskKey) {
    if (!context_.open()) return exitRefused;
    auto task = context_.store().task(taskKey);
    if (!task) return context_.refuse(readFailureTitle, task.error());
    if (task->status == TaskStatus::readyToResume) {
        auto changed = context_.store().setStatus(taskKey, TaskStatus::completed, std::nullopt);
        if (!changed) return context_.refuse(statusFailureTitle, changed.error());
    } else if (task->status != TaskStatus::completed) {
        return context_.refuse("无法关闭事项：" + quoted(*task) + "当前是" +
                               statusName(task->status) + "；确认恢复消息已经回传后，再关闭事项。");
    }
    context_.output() << "事项已关闭：" << TerminalText::printable(task->item.title, false) << '\n';
    return exitSuccess;
}

int WorkingCommands::cancel(const std::string& taskKey) {
    if (!context_.open()) return exitRefused;
    auto task = context_.store().task(taskKey);
    if (!task) return context_.refuse(readFailureTitle, task.error());
    switch (task->status) {
        case TaskStatus::pending:
        case TaskStatus::inProgress:
        case TaskStatus::snoozed:
        case TaskStatus::waitingExternal:
            if (auto changed =
                    context_.store().setStatus(taskKey, TaskStatus::cancelled, std::nullopt);
                !changed) {
                return context_.refuse(statusFailureTitle, changed.error());
            }
            break;
        case TaskStatus::cancelled:
            break;
        case TaskStatus::readyToResume:
        case TaskStatus::completed:
            return context_.refuse("无法取消事项：" + quoted(*task) + "当前是" +
                                   statusName(task->status) + "。");
    }
    context_.output() << "已取消并关闭事项：" << TerminalText::printable(task->item.title, false)
                      << '\n';
    return exitSuccess;
}

int WorkingCommands::remove(const std::set<std::string>& taskKeys) {
    if (!context_.open()) return exitRefused;
    if (auto deleted = context_.store().deleteTasks(taskKeys); !deleted) {
        return context_.refuse("无法删除事项", deleted.error());
    }
    context_.output() << "已删除 " << taskKeys.size() << " 项\n"
                      << "任务已从当前列表永久删除；对应回执仍保留在“回执历史”中。\n";
    return exitSuccess;
}

}  // namespace kestrin
