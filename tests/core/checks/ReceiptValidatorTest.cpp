#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/checks/ReceiptValidator.h"

using namespace kestrin;

namespace {

using Severity = ValidationIssue::Severity;

ValidationIssue error(std::string code, std::string path, std::string message) {
    return {Severity::error, std::move(code), std::move(path), std::move(message)};
}

ValidationIssue warning(std::string code, std::string path, std::string message) {
    return {Severity::warning, std::move(code), std::move(path), std::move(message)};
}

ActionStep validStep(std::string id, std::int64_t order) {
    ActionStep step;
    step.id = std::move(id);
    step.order = order;
    step.title = "打开终端";
    step.instruction = "在项目目录打开终端。";
    step.kind = ActionKind::navigate;
    step.successSignal = "看到提示符。";
    step.failureAction = "重新打开终端。";
    return step;
}

InterventionItem validItem(std::string id) {
    InterventionItem item;
    item.id = std::move(id);
    item.title = "登录私有镜像仓库";
    item.reason = "需要本人输入密码。";
    item.expectedOutcome = "docker pull 能拉取镜像。";
    item.estimatedMinutes = 5;
    item.steps = {validStep("step-1", 1), validStep("step-2", 2)};
    item.verification = {"运行 docker pull。", "镜像下载完成。"};
    return item;
}

InterventionReceipt validReceipt() {
    InterventionReceipt receipt;
    receipt.schemaVersion = "1.0";
    receipt.receiptId = "rc-2026-07-27-001";
    receipt.version = 1;
    receipt.source.taskTitle = "修复构建";
    receipt.project = {"velmora", "/Users/me/velmora"};
    receipt.state = ReceiptState::waitingForUser;
    receipt.requiresUserAction = true;
    receipt.summary = "需要本人登录镜像仓库后才能继续。";
    receipt.items = {validItem("item-1")};
    return receipt;
}

std::vector<std::string> codes(const std::vector<ValidationIssue>& issues) {
    std::vector<std::string> result;
    for (const auto& issue : issues) result.push_back(issue.code);
    return result;
}

const ReceiptValidator validator;

}  // namespace

TEST(ReceiptValidator, AcceptsAWellFormedReceiptWithoutRemarks) {
    EXPECT_TRUE(validator.validate(validReceipt()).empty());
    InterventionReceipt noAction = validReceipt();
    noAction.requiresUserAction = false;
    noAction.items.clear();
    EXPECT_TRUE(validator.validate(noAction).empty());
}

TEST(ReceiptValidator, SeverityRawValuesInOrder) {
    ASSERT_EQ(allCases<Severity>().size(), 2u);
    EXPECT_EQ(allCases<Severity>()[0].value, Severity::error);
    EXPECT_EQ(rawValue(Severity::error), "error");
    EXPECT_EQ(rawValue(Severity::warning), "warning");
    EXPECT_EQ(error("c", "p", "m").description(), "m");
}

// Every check fires once here, so this pins each code, path and message and the
// evaluation order: receipt level, then each item with its steps in the middle.
TEST(ReceiptValidator, ReportsEveryIssueInEvaluationOrder) {
    InterventionReceipt receipt;
    receipt.schemaVersion = "2.0";
    receipt.receiptId = "x";
    receipt.version = 0;
    receipt.source.taskTitle = " \t";
    receipt.project = {"", ""};
    receipt.summary = "\n";
    receipt.requiresUserAction = false;

    InterventionItem broken;
    broken.id = "x";
    broken.priority = TaskPriority::critical;
    broken.estimatedMinutes = 0;
    ActionStep command;
    command.id = "s";
    command.order = 0;
    command.kind = ActionKind::runCommand;
    command.command = "  ";
    command.requiresPassword = true;
    ActionStep sudo = validStep("step-2", 3);
    sudo.command = "sudo systemctl restart nginx";
    ActionStep twin = validStep("step-2", 3);
    broken.steps = {command, sudo, twin};

    InterventionItem empty = validItem("item-1");
    empty.steps.clear();
    receipt.items = {broken, validItem("item-1"), empty};

    const std::vector<ValidationIssue> expected{
        error("unsupported_schema", "schema_version", "当前只支持 1.x 版回执协议。"),
        error("invalid_identifier", "receipt_id",
              "receipt_id 只能包含字母、数字、点、下划线、冒号和连字符，长度为 3–120。"),
        error("invalid_version", "version", "version 必须从 1 开始。"),
        error("missing_task_title", "source.task_title", "必须写明原 Agent 任务标题。"),
        error("missing_project", "project.name", "必须写明项目名称。"),
        error("missing_project_path", "project.path", "必须写明项目绝对路径。"),
        error("non_absolute_path", "project.path", "macOS MVP 要求项目路径使用绝对路径。"),
        error("missing_summary", "summary", "必须用一句话说明 Agent 当前为什么结束或暂停。"),
        error("action_flag_mismatch", "requires_user_action",
              "存在人工介入事项时 requires_user_action 必须为 true。"),
        error("invalid_identifier", "items[0].id", "事项 id 格式不正确。"),
        error("missing_title", "items[0].title", "必须写明本人要完成的事项。"),
        error("missing_reason", "items[0].reason", "必须解释为什么需要本人介入。"),
        error("missing_outcome", "items[0].expected_outcome", "必须写明完成后的预期结果。"),
        error("invalid_estimate", "items[0].estimated_minutes", "预计耗时必须在 1–1440 分钟之间。"),
        error("invalid_identifier", "items[0].steps[0].id", "步骤 id 格式不正确。"),
        error("invalid_step_order", "items[0].steps[0].order", "步骤序号必须从 1 开始且不能重复。"),
        error("missing_step_title", "items[0].steps[0].title", "每一步都必须有简短标题。"),
        error("missing_instruction", "items[0].steps[0].instruction", "每一步都必须写明具体动作。"),
        error("missing_success_signal", "items[0].steps[0].success_signal",
              "每一步都必须写明可观察的成功信号。"),
        error("missing_failure_action", "items[0].steps[0].failure_action",
              "每一步都必须写明失败后怎么办。"),
        error("missing_command", "items[0].steps[0].command",
              "运行命令步骤必须提供可复制的完整命令。"),
        error("missing_password_guidance", "items[0].steps[0].password_prompt",
              "需要密码时必须解释在哪里输入、字符为何不显示以及如何取消。"),
        error("duplicate_step_id", "items[0].steps[2].id", "同一事项内的步骤 id 不能重复。"),
        error("invalid_step_order", "items[0].steps[2].order", "步骤序号必须从 1 开始且不能重复。"),
        error("non_contiguous_steps", "items[0].steps", "步骤序号必须连续，从 1 依次增加。"),
        error("missing_verification", "items[0].verification.instruction",
              "必须说明最后如何核验。"),
        error("missing_evidence", "items[0].verification.success_evidence",
              "必须写明核验通过时能看到的证据。"),
        warning("critical_without_risk", "items[0].risk", "立即处理事项建议明确风险说明。"),
        warning("sudo_without_rollback", "items[0].rollback", "包含 sudo 的事项建议提供回退办法。"),
        error("duplicate_item_id", "items[2].id", "同一回执内的事项 id 不能重复。"),
        error("missing_steps", "items[2].steps", "每个人工介入事项至少需要一个编号步骤。"),
    };
    EXPECT_EQ(validator.validate(receipt), expected);

    std::vector<ValidationIssue> expectedErrors = expected;
    std::erase_if(expectedErrors, [](const auto& i) { return i.severity == Severity::warning; });
    EXPECT_EQ(validator.errors(receipt), expectedErrors);
}

TEST(ReceiptValidator, MissingActionsOnlyWhenFlagIsTrue) {
    InterventionReceipt receipt = validReceipt();
    receipt.items.clear();
    EXPECT_EQ(validator.validate(receipt),
              (std::vector{error("missing_actions", "items",
                                 "requires_user_action 为 true 时至少需要一个人工介入事项。")}));
    receipt.requiresUserAction = false;
    EXPECT_TRUE(validator.validate(receipt).empty());
}

TEST(ReceiptValidator, SchemaVersionMustBeginWithOneDot) {
    InterventionReceipt receipt = validReceipt();
    for (const char* version : {"1.0", "1.7", "1.", "1.0.3"}) {
        receipt.schemaVersion = version;
        EXPECT_TRUE(validator.validate(receipt).empty()) << version;
    }
    for (const char* version : {"2.0", "1", " 1.0", "v1.0", "", "10.0"}) {
        receipt.schemaVersion = version;
        EXPECT_EQ(codes(validator.validate(receipt)),
                  std::vector<std::string>{"unsupported_schema"})
            << version;
    }
}

TEST(ReceiptValidator, IdentifierPattern) {
    InterventionReceipt receipt = validReceipt();
    const std::string longest(120, 'a');
    for (const std::string& id :
         {std::string("rc:2026-07-27.build_1"), std::string("abc"), longest}) {
        receipt.receiptId = id;
        EXPECT_TRUE(validator.validate(receipt).empty()) << id;
    }
    // A trailing line break is refused even though a regular-expression end
    // anchor would let it through.
    for (const std::string& id :
         {std::string("ab"), std::string("rc 1"), longest + "a", std::string("abc\n"),
          std::string("\nabc"), std::string("rc/1"), std::string("回执一二三"),
          std::string("abc\0", 4), std::string()}) {
        receipt.receiptId = id;
        EXPECT_EQ(codes(validator.validate(receipt)),
                  std::vector<std::string>{"invalid_identifier"})
            << id;
    }
}

TEST(ReceiptValidator, VersionAndEstimateBounds) {
    InterventionReceipt receipt = validReceipt();
    receipt.version = 0;
    EXPECT_EQ(codes(validator.validate(receipt)), std::vector<std::string>{"invalid_version"});
    receipt.version = 1;
    for (std::int64_t minutes : {1, 1440}) {
        receipt.items[0].estimatedMinutes = minutes;
        EXPECT_TRUE(validator.validate(receipt).empty()) << minutes;
    }
    for (std::int64_t minutes : {0, 1441, -5}) {
        receipt.items[0].estimatedMinutes = minutes;
        EXPECT_EQ(codes(validator.validate(receipt)), std::vector<std::string>{"invalid_estimate"})
            << minutes;
    }
}

TEST(ReceiptValidator, ProjectPathChecksAreIndependent) {
    InterventionReceipt receipt = validReceipt();
    receipt.project.path = "";
    EXPECT_EQ(codes(validator.validate(receipt)),
              (std::vector<std::string>{"missing_project_path", "non_absolute_path"}));
    receipt.project.path = "~/velmora";
    EXPECT_EQ(codes(validator.validate(receipt)), std::vector<std::string>{"non_absolute_path"});
    receipt.project.path = " /Users/me";  // tested as given, not trimmed
    EXPECT_EQ(codes(validator.validate(receipt)), std::vector<std::string>{"non_absolute_path"});
    receipt.project.path = "/ ";
    EXPECT_TRUE(validator.validate(receipt).empty());
}

// Blank means only White_Space characters: Unicode spaces and line breaks count,
// invisible format characters and ill-formed bytes do not.
TEST(ReceiptValidator, BlankUsesUnicodeWhiteSpace) {
    InterventionReceipt receipt = validReceipt();
    for (const char* blank : {"", " ", "\t\r\n\v\f", "\u00a0", "\u3000", "\u2028\u2029", "\u0085",
                              "\u2003\u202f\u205f", "\u1680"}) {
        receipt.summary = blank;
        EXPECT_EQ(codes(validator.validate(receipt)), std::vector<std::string>{"missing_summary"})
            << blank;
    }
    for (const std::string& text :
         {std::string("\u200b"), std::string("\ufeff"), std::string("\xa0"), std::string(" \xc2"),
          std::string("\0", 1), std::string(" x ")}) {
        receipt.summary = text;
        EXPECT_TRUE(validator.validate(receipt).empty()) << text;
    }
}

TEST(ReceiptValidator, DuplicateItemIds) {
    InterventionReceipt receipt = validReceipt();
    receipt.items = {validItem("x"), validItem("x")};
    const auto issues = validator.validate(receipt);
    EXPECT_EQ(codes(issues),
              (std::vector<std::string>{"invalid_identifier", "invalid_identifier"}));
    EXPECT_EQ(issues[1].path, "items[1].id");

    receipt.items = {validItem("item-a"), validItem("item-b"), validItem("item-a")};
    EXPECT_EQ(
        validator.validate(receipt),
        (std::vector{error("duplicate_item_id", "items[2].id", "同一回执内的事项 id 不能重复。")}));
    receipt.items = {validItem("item-a"), validItem("ITEM-A")};  // case-sensitive
    EXPECT_TRUE(validator.validate(receipt).empty());
}

TEST(ReceiptValidator, StepIdsAreUniquePerItemOnly) {
    InterventionReceipt receipt = validReceipt();
    receipt.items = {validItem("item-a"), validItem("item-b")};  // both hold step-1 and step-2
    EXPECT_TRUE(validator.validate(receipt).empty());
    receipt.items[0].steps[1].id = "s";
    receipt.items[0].steps.push_back(validStep("s", 3));
    EXPECT_EQ(codes(validator.validate(receipt)),
              (std::vector<std::string>{"invalid_identifier", "invalid_identifier"}));
}

TEST(ReceiptValidator, StepOrders) {
    const auto issuesFor = [](std::vector<std::int64_t> orders) {
        InterventionReceipt receipt = validReceipt();
        receipt.items[0].steps.clear();
        for (std::size_t j = 0; j < orders.size(); ++j) {
            receipt.items[0].steps.push_back(validStep("step-" + std::to_string(j), orders[j]));
        }
        return validator.validate(receipt);
    };
    EXPECT_EQ(issuesFor({1, 1}), (std::vector{error("invalid_step_order", "items[0].steps[1].order",
                                                    "步骤序号必须从 1 开始且不能重复。"),
                                              error("non_contiguous_steps", "items[0].steps",
                                                    "步骤序号必须连续，从 1 依次增加。")}));
    EXPECT_TRUE(issuesFor({2, 1}).empty());
    EXPECT_TRUE(issuesFor({3, 1, 2}).empty());
    EXPECT_EQ(codes(issuesFor({1, 3})), std::vector<std::string>{"non_contiguous_steps"});
    EXPECT_EQ(codes(issuesFor({0})),
              (std::vector<std::string>{"invalid_step_order", "non_contiguous_steps"}));
    // Order 0 is never recorded as seen, so a second 0 is reported for being
    // below 1, once per step.
    EXPECT_EQ(codes(issuesFor({0, 0})),
              (std::vector<std::string>{"invalid_step_order", "invalid_step_order",
                                        "non_contiguous_steps"}));

    InterventionReceipt empty = validReceipt();
    empty.items[0].steps.clear();
    EXPECT_EQ(codes(validator.validate(empty)), std::vector<std::string>{"missing_steps"});
}

TEST(ReceiptValidator, CommandAndPasswordGuidance) {
    InterventionReceipt receipt = validReceipt();
    ActionStep& step = receipt.items[0].steps[0];
    step.kind = ActionKind::runCommand;
    step.command = "   ";
    EXPECT_EQ(codes(validator.validate(receipt)), std::vector<std::string>{"missing_command"});
    step.command.reset();
    EXPECT_EQ(codes(validator.validate(receipt)), std::vector<std::string>{"missing_command"});
    step.command = "make";
    EXPECT_TRUE(validator.validate(receipt).empty());

    step.kind = ActionKind::paste;
    step.command.reset();
    EXPECT_TRUE(validator.validate(receipt).empty());

    step.requiresPassword = true;
    EXPECT_EQ(validator.validate(receipt),
              (std::vector{error("missing_password_guidance", "items[0].steps[0].password_prompt",
                                 "需要密码时必须解释在哪里输入、字符为何不显示以及如何取消。")}));
    step.passwordPrompt = "在终端输入，字符不会显示，按 Ctrl-C 取消。";
    EXPECT_TRUE(validator.validate(receipt).empty());
}

TEST(ReceiptValidator, WarningsDoNotCountAsErrors) {
    InterventionReceipt receipt = validReceipt();
    receipt.items[0].priority = TaskPriority::critical;
    EXPECT_EQ(validator.validate(receipt),
              (std::vector{warning("critical_without_risk", "items[0].risk",
                                   "立即处理事项建议明确风险说明。")}));
    EXPECT_TRUE(validator.errors(receipt).empty());
    receipt.items[0].risk = "会中断服务。";
    EXPECT_TRUE(validator.validate(receipt).empty());
}

TEST(ReceiptValidator, SudoIsACaseSensitiveSubstring) {
    InterventionReceipt receipt = validReceipt();
    const auto codesWithCommand = [&](const char* command) {
        receipt.items[0].steps[1].command = command;
        return codes(validator.validate(receipt));
    };
    const std::vector<std::string> sudoWarning{"sudo_without_rollback"};
    EXPECT_EQ(codesWithCommand("sudo apt-get install nginx"), sudoWarning);
    EXPECT_EQ(codesWithCommand("visudo"), sudoWarning);
    EXPECT_TRUE(codesWithCommand("SUDO apt-get install nginx").empty());
    receipt.items[0].rollback = "sudo apt-get remove nginx";
    EXPECT_TRUE(codesWithCommand("sudo apt-get install nginx").empty());
    receipt.items[0].rollback = "\u3000";
    EXPECT_EQ(codesWithCommand("sudo apt-get install nginx"), sudoWarning);
}

TEST(ReceiptValidator, IgnoresFieldsOutsideItsRules) {
    InterventionReceipt receipt = validReceipt();
    receipt.state = ReceiptState::paused;
    receipt.items[0].category = InterventionCategory::decision;
    receipt.items[0].prerequisites = {"", " "};
    receipt.items[0].resumeContext = "";
    receipt.items[0].payloadVersion = 99;
    receipt.items[0].steps[0].workingDirectory = "relative/dir";
    EXPECT_TRUE(validator.validate(receipt).empty());
}
