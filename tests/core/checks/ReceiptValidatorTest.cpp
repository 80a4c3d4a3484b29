#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/checks/ReceiptValidator.h"
#include "tools/TestReceipts.h"

using namespace kestrin;

namespace {

using Change = std::function<void(InterventionReceipt&)>;

const ReceiptValidator validator;

InterventionReceipt validReceipt() {
    auto receipt = kestrin::testing::validReceipt("rc-2026-07-27.001", 1);
    receipt.items[0].rollback.reset();
    return receipt;
}

std::string issueText(const ValidationIssue& issue) {
    return std::string(rawValue(issue.severity)) + " " + issue.code + " " + issue.path + " " +
           issue.description();
}

std::string codesAfter(const Change& change) {
    InterventionReceipt receipt = validReceipt();
    change(receipt);
    std::string codes;
    for (const auto& issue : validator.validate(receipt)) codes += issue.code + " ";
    return codes;
}

}  // namespace

// Every check fires once (missing_actions on a second receipt), in evaluation order.
TEST(ReceiptValidator, ReportsEveryIssueInEvaluationOrder) {
    InterventionReceipt receipt, noItems = validReceipt();
    receipt.schemaVersion = "2.0";
    receipt.receiptId = "x";
    receipt.version = 0;
    receipt.source.taskTitle = " \t";
    receipt.project = {"", ""};
    receipt.summary = "\n";
    receipt.requiresUserAction = false;
    InterventionItem broken, empty = validReceipt().items[0];
    broken.id = "x";
    broken.priority = TaskPriority::critical;
    broken.estimatedMinutes = 0;
    ActionStep command, sudo = empty.steps[1];
    command.id = "s";
    command.order = 0;
    command.kind = ActionKind::runCommand;
    command.command = "  ";
    command.requiresPassword = true;
    sudo.order = 3;
    sudo.command = "sudo systemctl restart nginx";
    broken.steps = {command, sudo, sudo};
    receipt.items = {broken, empty, empty};
    receipt.items[2].steps.clear();
    noItems.items.clear();
    const std::vector<std::string> expected{
        "error unsupported_schema schema_version 当前只支持 1.x 版回执协议。",
        "error invalid_identifier receipt_id receipt_id "
        "只能包含字母、数字、点、下划线、冒号和连字符，长度为 3–120。",
        "error invalid_version version version 必须从 1 开始。",
        "error missing_task_title source.task_title 必须写明原 Agent 任务标题。",
        "error missing_project project.name 必须写明项目名称。",
        "error missing_project_path project.path 必须写明项目绝对路径。",
        "error non_absolute_path project.path macOS MVP 要求项目路径使用绝对路径。",
        "error missing_summary summary 必须用一句话说明 Agent 当前为什么结束或暂停。",
        "error action_flag_mismatch requires_user_action 存在人工介入事项时 requires_user_action "
        "必须为 true。",
        "error invalid_identifier items[0].id 事项 id 格式不正确。",
        "error missing_title items[0].title 必须写明本人要完成的事项。",
        "error missing_reason items[0].reason 必须解释为什么需要本人介入。",
        "error missing_outcome items[0].expected_outcome 必须写明完成后的预期结果。",
        "error invalid_estimate items[0].estimated_minutes 预计耗时必须在 1–1440 分钟之间。",
        "error invalid_identifier items[0].steps[0].id 步骤 id 格式不正确。",
        "error invalid_step_order items[0].steps[0].order 步骤序号必须从 1 开始且不能重复。",
        "error missing_step_title items[0].steps[0].title 每一步都必须有简短标题。",
        "error missing_instruction items[0].steps[0].instruction 每一步都必须写明具体动作。",
        "error missing_success_signal items[0].steps[0].success_signal "
        "每一步都必须写明可观察的成功信号。",
        "error missing_failure_action items[0].steps[0].failure_action "
        "每一步都必须写明失败后怎么办。",
        "error missing_command items[0].steps[0].command 运行命令步骤必须提供可复制的完整命令。",
        "error missing_password_guidance items[0].steps[0].password_prompt "
        "需要密码时必须解释在哪里输入、字符为何不显示以及如何取消。",
        "error duplicate_step_id items[0].steps[2].id 同一事项内的步骤 id 不能重复。",
        "error invalid_step_order items[0].steps[2].order 步骤序号必须从 1 开始且不能重复。",
        "error non_contiguous_steps items[0].steps 步骤序号必须连续，从 1 依次增加。",
        "error missing_verification items[0].verification.instruction 必须说明最后如何核验。",
        "error missing_evidence items[0].verification.success_evidence "
        "必须写明核验通过时能看到的证据。",
        "warning critical_without_risk items[0].risk 立即处理事项建议明确风险说明。",
        "warning sudo_without_rollback items[0].rollback 包含 sudo 的事项建议提供回退办法。",
        "error duplicate_item_id items[2].id 同一回执内的事项 id 不能重复。",
        "error missing_steps items[2].steps 每个人工介入事项至少需要一个编号步骤。",
        "error missing_actions items requires_user_action 为 true 时至少需要一个人工介入事项。",
    };
    std::vector<std::string> all, errors;
    for (const auto& r : {receipt, noItems}) {
        for (const auto& issue : validator.validate(r)) all.push_back(issueText(issue));
        for (const auto& issue : validator.errors(r)) errors.push_back(issueText(issue));
    }
    EXPECT_EQ(all, expected);
    std::erase_if(all, [](const std::string& text) { return text.starts_with("warning"); });
    EXPECT_EQ(errors, all);
}

TEST(ReceiptValidator, EachRuleAtItsBoundaries) {
    using R = InterventionReceipt;
    const auto step = [](R& r) -> ActionStep& { return r.items[0].steps[0]; };
    const auto command = [&](ActionKind kind, std::optional<std::string> text) {
        return [=](R& r) {
            step(r).kind = kind;
            step(r).command = text;
        };
    };
    const auto sudo = [](std::string rollback) {
        return [rollback](R& r) {
            r.items[0].steps[1].command = "sudo x";
            r.items[0].rollback = rollback;
        };
    };
    const auto orders = [](std::vector<std::int64_t> list) {
        return [list](R& r) {
            auto& steps = r.items[0].steps;
            steps.resize(list.size(), steps[0]);
            for (std::size_t j = 0; j < list.size(); ++j) {
                steps[j].id = "step-" + std::to_string(j);
                steps[j].order = list[j];
            }
        };
    };
    const std::pair<Change, std::string> cases[] = {
        {[](R& r) {
             r.requiresUserAction = false;
             r.items.clear();
         },
         ""},
        {[](R& r) { r.schemaVersion = "1."; }, ""},
        {[](R& r) { r.items[0].estimatedMinutes = 1; }, ""},
        {[](R& r) { r.items[0].estimatedMinutes = 1440; }, ""},
        {[](R& r) { r.items[0].estimatedMinutes = 1441; }, "invalid_estimate "},
        {[](R& r) { r.project.path = "/ "; }, ""},
        {[](R& r) { r.project.path = " /Users/me"; }, "non_absolute_path "},  // not trimmed
        // Item ids are unique per receipt, case-sensitively; step ids per item.
        {[](R& r) {
             r.items.push_back(r.items[0]);
             r.items[1].id = "ITEM-1";
         },
         ""},
        {orders({2, 1}), ""},
        {orders({1, 3}), "non_contiguous_steps "},
        {orders({1, 1}), "invalid_step_order non_contiguous_steps "},
        // Order 0 is never recorded as seen, so each 0 is reported once.
        {orders({0, 0}), "invalid_step_order invalid_step_order non_contiguous_steps "},
        {command(ActionKind::runCommand, std::nullopt), "missing_command "},
        {command(ActionKind::runCommand, "make"), ""},
        {command(ActionKind::paste, std::nullopt), ""},
        {[&](R& r) {
             step(r).requiresPassword = true;
             step(r).passwordPrompt = "在终端输入，按 Ctrl-C 取消。";
         },
         ""},
        {[](R& r) {
             r.items[0].priority = TaskPriority::critical;
             r.items[0].risk = "会中断服务。";
         },
         ""},
        {[](R& r) { r.items[0].priority = TaskPriority::high; }, ""},
        // sudo is a case-sensitive substring of any step's command.
        {[](R& r) { r.items[0].steps[1].command = "visudo"; }, "sudo_without_rollback "},
        {[](R& r) { r.items[0].steps[1].command = "SUDO apt-get install nginx"; }, ""},
        {sudo("\u3000"), "sudo_without_rollback "},
        {sudo("sudo y"), ""},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(codesAfter(cases[i].first), cases[i].second) << "row " << i;
    for (const char* version : {"1", " 1.0", "10.0"}) {
        EXPECT_EQ(codesAfter([&](R& r) { r.schemaVersion = version; }), "unsupported_schema ")
            << version;
    }
    // 3 to 120 of letters, digits and . _ : -; a trailing line break fails.
    const std::string longest(120, 'a');
    for (const std::string& id : {std::string("AZaz09.:_-"), std::string("abc"), longest}) {
        EXPECT_EQ(codesAfter([&](R& r) { r.receiptId = id; }), "") << id;
    }
    for (const std::string& id :
         {std::string("ab"), longest + "a", std::string("abc\n"), std::string("rc/1"),
          std::string("rc@1"), std::string("rc[1"), std::string("rc`1"), std::string("rc{1"),
          std::string("回执一二三"), std::string("abc\0", 4)}) {
        EXPECT_EQ(codesAfter([&](R& r) { r.receiptId = id; }), "invalid_identifier ") << id;
    }
}
