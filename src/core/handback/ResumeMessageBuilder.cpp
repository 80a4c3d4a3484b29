#include "core/handback/ResumeMessageBuilder.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "core/support/TextTrimming.h"

namespace kestrin {

namespace {

std::string stepLine(const ActionStep& step, bool done) {
    return "- 第 " + std::to_string(step.order) + " 步：" + step.title +
           (done ? "（已完成）" : "（未完成）");
}

void appendBlock(std::vector<std::string>& lines, std::vector<std::string> block) {
    if (block.empty()) {
        lines.emplace_back("- 无");
        return;
    }
    std::move(block.begin(), block.end(), std::back_inserter(lines));
}

std::string joinedLines(const std::vector<std::string>& lines) {
    std::string message;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) message += '\n';
        message += lines[i];
    }
    return message;
}

}  // namespace

std::string ResumeMessageBuilder::build(const TaskRecord& record, std::string_view notes) const {
    std::vector<const ActionStep*> steps;
    steps.reserve(record.item.steps.size());
    for (const auto& step : record.item.steps) steps.push_back(&step);
    std::stable_sort(steps.begin(), steps.end(),
                     [](const ActionStep* a, const ActionStep* b) { return a->order < b->order; });

    std::vector<std::string> doneLines;
    std::vector<std::string> openLines;
    for (const ActionStep* step : steps) {
        if (record.isStepComplete(step->id)) {
            doneLines.push_back(stepLine(*step, true));
        } else {
            openLines.push_back(stepLine(*step, false));
        }
    }

    std::vector<std::string> lines{
        "请从人工介入结果继续原任务。",
        "",
        "项目：" + record.project.name,
        "原任务：" + record.source.taskTitle,
        "回执：" + record.receiptID + " v" + std::to_string(record.receiptVersion),
        "人工事项：" + record.item.title,
        "",
        "已执行：",
    };
    appendBlock(lines, std::move(doneLines));
    lines.insert(lines.end(), {"", "尚未执行："});
    appendBlock(lines, std::move(openLines));
    lines.insert(lines.end(), {
                                  "",
                                  "核验要求：" + record.item.verification.instruction,
                                  "成功证据：" + record.item.verification.successEvidence,
                              });

    const auto& context = record.item.resumeContext;
    if (context && !isBlank(*context)) {
        lines.insert(lines.end(), {"", "Agent 恢复上下文：" + *context});
    }
    if (!isBlank(notes)) {
        lines.insert(lines.end(), {"", "本人记录：" + std::string(trimmedText(notes))});
    }
    lines.insert(lines.end(), {"", "请先核对以上结果，再继续执行；不要把未执行步骤推断为已完成。"});
    return joinedLines(lines);
}

}  // namespace kestrin
