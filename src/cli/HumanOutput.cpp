#include "cli/HumanOutput.h"

#include <algorithm>
#include <chrono>
#include <ctime>

#include "cli/TerminalText.h"
#include "core/checks/CommandRiskPolicy.h"
#include "core/handback/SourceLinkResolver.h"
#include "core/support/TextTrimming.h"

namespace kestrin {

namespace {

// The widest status display name ("待回传 Agent") sets the status column.
int statusColumnWidth() {
    int widest = 0;
    for (const auto& c : allCases<TaskStatus>()) {
        widest = std::max(widest, TerminalText::columns(c.displayName));
    }
    return widest;
}

std::string line(std::string_view text) {
    return TerminalText::printable(text, false);
}

std::string block(std::string_view text) {
    return TerminalText::printable(text, true);
}

std::string stepProgress(std::size_t completed, std::size_t total) {
    return std::to_string(completed) + "/" + std::to_string(total) + " 步";
}

std::vector<ActionStep> sortedSteps(const TaskRecord& task) {
    std::vector<ActionStep> steps = task.item.steps;
    std::stable_sort(steps.begin(), steps.end(),
                     [](const ActionStep& a, const ActionStep& b) { return a.order < b.order; });
    return steps;
}

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string result;
    for (const auto& part : parts) {
        if (!result.empty()) result += separator;
        result += part;
    }
    return result;
}

constexpr std::string_view dot = " · ";

}  // namespace

HumanOutput::HumanOutput(const ConsoleFacts& console, std::ostream& output)
    : console_(console), output_(output) {}

std::string HumanOutput::paint(std::string_view text, Colour colour) const {
    if (!console_.colour) return std::string(text);
    const char* code = "";
    switch (colour) {
        case Colour::orange:
            code = "33";
            break;
        case Colour::blue:
            code = "34";
            break;
        case Colour::purple:
            code = "35";
            break;
        case Colour::grey:
            code = "90";
            break;
        case Colour::green:
            code = "32";
            break;
        case Colour::red:
            code = "31";
            break;
        case Colour::bold:
            code = "1";
            break;
    }
    return "\x1b[" + std::string(code) + "m" + std::string(text) + "\x1b[0m";
}

HumanOutput::Colour HumanOutput::statusColour(TaskStatus status) {
    switch (status) {
        case TaskStatus::pending:
            return Colour::orange;
        case TaskStatus::inProgress:
            return Colour::blue;
        case TaskStatus::snoozed:
            return Colour::purple;
        case TaskStatus::readyToResume:
            return Colour::green;
        case TaskStatus::cancelled:
            return Colour::red;
        case TaskStatus::waitingExternal:
        case TaskStatus::completed:
            break;
    }
    return Colour::grey;
}

std::string HumanOutput::localTime(Timestamp instant) {
    const std::time_t seconds =
        std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(instant));
    std::tm local{};
    if (::localtime_r(&seconds, &local) == nullptr) return kestrinISO8601(instant);
    char text[32];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return std::string(text, length);
}

void HumanOutput::taskRows(const std::vector<TaskSummary>& tasks) {
    const int statusWidth = statusColumnWidth();
    for (const TaskSummary& task : tasks) {
        const std::string progress = stepProgress(task.completedStepCount, task.stepCount);
        std::string title = line(task.title);
        if (console_.width) {
            const int room = *console_.width - statusWidth - 4 - TerminalText::columns(progress);
            title = TerminalText::padded(title, std::max(room, 1));
        }
        output_ << paint(TerminalText::padded(displayName(task.status), statusWidth),
                         statusColour(task.status))
                << "  " << title << "  " << progress << '\n';

        const std::string key = line(task.taskKey);
        std::vector<std::string> facts{line(task.projectName),
                                       std::string(displayName(task.agent)),
                                       localTime(task.importedAt)};
        if (task.status == TaskStatus::snoozed && task.snoozedUntil) {
            facts.push_back("暂缓到 " + localTime(*task.snoozedUntil));
        }
        std::string rest = std::string(dot) + joined(facts, dot);
        if (console_.width) {
            // Too little room for even " · x": the key stands alone.
            const int room = *console_.width - 2 - TerminalText::columns(key);
            rest = room >= 4 ? TerminalText::fitted(rest, room) : std::string();
        }
        output_ << "  " << key << paint(rest, Colour::grey) << '\n';
    }
}

void HumanOutput::heading(std::string_view title) {
    output_ << '\n' << paint(title, Colour::bold) << '\n';
}

void HumanOutput::paragraph(std::string_view text, int indent, std::optional<Colour> colour) {
    std::optional<int> width;
    if (console_.width) width = std::max(*console_.width - indent, 1);
    const std::string margin(static_cast<std::size_t>(indent), ' ');
    for (const std::string& wrappedLine : TerminalText::wrapped(block(text), width)) {
        output_ << margin << (colour ? paint(wrappedLine, *colour) : wrappedLine) << '\n';
    }
}

void HumanOutput::labelled(std::string_view label, std::string_view value, int indent) {
    paragraph(std::string(label) + "：" + std::string(value), indent);
}

void HumanOutput::verbatim(std::string_view label, std::string_view value, int indent) {
    const std::string margin(static_cast<std::size_t>(indent), ' ');
    const std::string text = line(value);
    const std::string head = margin + std::string(label) + "：";
    if (!console_.width || TerminalText::columns(head + text) <= *console_.width) {
        output_ << head << text << '\n';
    } else {
        output_ << head << '\n' << margin << "  " << text << '\n';
    }
}

void HumanOutput::workSheet(const TaskRecord& task, const std::string& note) {
    const InterventionItem& item = task.item;
    // Appended rather than "[" + ...: g++ 12 at -O2 warns falsely (-Wrestrict) on that form.
    output_ << paint(std::string("[").append(displayName(task.status)).append("]"),
                     statusColour(task.status))
            << ' ' << "[优先级 " << displayName(item.priority) << "] ["
            << displayName(item.category) << "]\n";
    paragraph(item.title, 0, Colour::bold);
    paragraph(item.expectedOutcome, 0);
    paragraph(joined({line(task.project.name), std::string(displayName(task.source.agent)),
                      "约 " + std::to_string(item.estimatedMinutes) + " 分钟",
                      stepProgress(task.completedStepCount(), task.totalStepCount())},
                     dot),
              0);
    output_ << paint(line(task.taskKey), Colour::grey) << '\n';
    if (task.status == TaskStatus::snoozed && task.snoozedUntil) {
        output_ << "暂缓到 " << localTime(*task.snoozedUntil) << '\n';
    }

    heading("为什么现在需要你");
    paragraph(item.reason, 2);
    labelled("原 Agent 状态", displayName(task.receiptState), 2);
    labelled("原任务", task.source.taskTitle, 2);
    verbatim("项目路径", task.project.path, 2);
    labelled("回执版本", task.receiptID + " · v" + std::to_string(task.receiptVersion), 2);

    if (!item.prerequisites.empty()) {
        heading("开始前先确认");
        for (std::size_t i = 0; i < item.prerequisites.size(); ++i) {
            paragraph(std::to_string(i + 1) + ". " + item.prerequisites[i], 2);
        }
    }

    heading("逐步操作");
    for (const ActionStep& each : sortedSteps(task)) step(task, each);

    heading("最终核验");
    paragraph(item.verification.instruction, 2);
    labelled("成功证据", item.verification.successEvidence, 2);
    if (item.risk && !item.risk->empty()) labelled("风险", *item.risk, 2);
    if (item.rollback && !item.rollback->empty()) labelled("回退办法", *item.rollback, 2);

    handBack(task, note);
}

void HumanOutput::step(const TaskRecord& task, const ActionStep& step) {
    const bool done = task.isStepComplete(step.id);
    const std::string box = done ? "[x]" : "[ ]";
    output_ << "  " << paint(box, done ? Colour::green : Colour::grey) << " 第 " << step.order
            << " 步 · " << displayName(step.kind)
            << paint(std::string(dot) + line(step.id), Colour::grey) << '\n';
    paragraph(step.title, 6, Colour::bold);
    paragraph(step.instruction, 6);
    if (step.workingDirectory && !step.workingDirectory->empty()) {
        verbatim("工作目录", *step.workingDirectory, 6);
    }
    if (step.command && !step.command->empty()) {
        output_ << "      要粘贴的完整命令：\n";
        // Never wrapped: the user copies it as it stands.
        for (const std::string& commandLine : TerminalText::wrapped(block(*step.command), {})) {
            output_ << "        " << commandLine << '\n';
        }
        for (const CommandRisk risk : CommandRiskPolicy().assess(step, task.project)) {
            paragraph("运行前再看一眼：" + std::string(displayName(risk)), 6, Colour::red);
        }
    }
    if (step.requiresPassword) {
        const std::string prompt =
            step.passwordPrompt && !step.passwordPrompt->empty()
                ? *step.passwordPrompt
                : "输入时字符不会显示；不要把密码粘贴到任务卡或 Agent。需要取消时按 Control-C。";
        paragraph("密码只在系统提示中输入：" + prompt, 6, Colour::orange);
    }
    labelled("成功信号", step.successSignal, 6);
    labelled("如果失败", step.failureAction, 6);
}

void HumanOutput::handBack(const TaskRecord& task, const std::string& note) {
    heading("把结果送回原任务");
    if (!isBlank(note)) labelled("本人记录", note, 2);
    if (task.source.agent == AgentKind::codex) {
        const SourceLinkResolution link = SourceLinkResolver().resolve(task.source);
        if (link.url) {
            verbatim("Codex 任务", *link.url, 2);
        } else if (link.reason) {
            paragraph("需要手动返回 Codex：" + *link.reason, 2, Colour::orange);
        }
    }
    verbatim("完成所有步骤后生成恢复消息", "velmora-cli resume " + task.taskKey, 2);
}

void HumanOutput::historyRows(const std::vector<ReceiptHistoryRecord>& receipts) {
    for (const ReceiptHistoryRecord& receipt : receipts) {
        std::string head = line(receipt.projectName) + " v" + std::to_string(receipt.version);
        std::string rest = joined({line(receipt.receiptID), std::string(displayName(receipt.agent)),
                                   receipt.requiresUserAction ? "含人工事项" : "无需人工操作",
                                   localTime(receipt.importedAt)},
                                  dot);
        std::string summary = line(receipt.summary);
        if (console_.width) {
            const int room = *console_.width - TerminalText::columns(head);
            rest = TerminalText::fitted(std::string(dot) + rest, room);
            summary = TerminalText::fitted(summary, *console_.width - 2);
        } else {
            rest = std::string(dot) + rest;
        }
        output_ << paint(head, Colour::bold) << paint(rest, Colour::grey) << '\n'
                << "  " << summary << '\n';
    }
}

void HumanOutput::paths(const AppPaths& paths, TaskDataEnvironment environment) {
    output_ << "当前任务库：" << displayName(environment) << '\n';
    const std::pair<const char*, const std::filesystem::path*> rows[] = {
        {"root", &paths.root()},           {"inbox", &paths.inbox()},
        {"processed", &paths.processed()}, {"rejected", &paths.rejected()},
        {"backups", &paths.backups()},     {"database", &paths.database()}};
    for (const auto& [label, location] : rows) {
        output_ << TerminalText::padded(label, 10) << ' ' << line(location->string()) << '\n';
    }
}

}  // namespace kestrin
