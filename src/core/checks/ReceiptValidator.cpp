#include "core/checks/ReceiptValidator.h"

#include "core/support/TextTrimming.h"

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace kestrin {

namespace {

using Severity = ValidationIssue::Severity;

// An absent optional text counts as blank.
bool isAbsentOrBlank(const std::optional<std::string>& text) {
    return !text || isBlank(std::string_view(*text));
}

// The identifier pattern ^[A-Za-z0-9._:-]{3,120}$ matched against the whole
// value. Unlike a regular-expression end anchor, nothing tolerates a trailing
// line break: "abc\n" is not an identifier, since identifiers end up in task
// keys and file names.
bool isIdentifier(std::string_view text) {
    if (text.size() < 3 || text.size() > 120) return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '.' || c == '_' || c == ':' || c == '-';
    });
}

class IssueList {
  public:
    void error(std::string code, std::string path, std::string message) {
        issues_.push_back({Severity::error, std::move(code), std::move(path), std::move(message)});
    }
    void warning(std::string code, std::string path, std::string message) {
        issues_.push_back(
            {Severity::warning, std::move(code), std::move(path), std::move(message)});
    }
    std::vector<ValidationIssue> take() { return std::move(issues_); }

  private:
    std::vector<ValidationIssue> issues_;
};

void checkSteps(const std::vector<ActionStep>& steps, const std::string& itemPath,
                IssueList& issues) {
    std::set<std::string_view> idsSeen;
    std::set<std::int64_t> ordersSeen;
    for (std::size_t j = 0; j < steps.size(); ++j) {
        const ActionStep& step = steps[j];
        const std::string base = itemPath + ".steps[" + std::to_string(j) + "]";
        if (!isIdentifier(step.id)) {
            issues.error("invalid_identifier", base + ".id", "步骤 id 格式不正确。");
        } else if (!idsSeen.insert(step.id).second) {
            issues.error("duplicate_step_id", base + ".id", "同一事项内的步骤 id 不能重复。");
        }
        if (step.order < 1 || !ordersSeen.insert(step.order).second) {
            issues.error("invalid_step_order", base + ".order",
                         "步骤序号必须从 1 开始且不能重复。");
        }
        if (isBlank(step.title)) {
            issues.error("missing_step_title", base + ".title", "每一步都必须有简短标题。");
        }
        if (isBlank(step.instruction)) {
            issues.error("missing_instruction", base + ".instruction",
                         "每一步都必须写明具体动作。");
        }
        if (isBlank(step.successSignal)) {
            issues.error("missing_success_signal", base + ".success_signal",
                         "每一步都必须写明可观察的成功信号。");
        }
        if (isBlank(step.failureAction)) {
            issues.error("missing_failure_action", base + ".failure_action",
                         "每一步都必须写明失败后怎么办。");
        }
        if (step.kind == ActionKind::runCommand && isAbsentOrBlank(step.command)) {
            issues.error("missing_command", base + ".command",
                         "运行命令步骤必须提供可复制的完整命令。");
        }
        if (step.requiresPassword && isAbsentOrBlank(step.passwordPrompt)) {
            issues.error("missing_password_guidance", base + ".password_prompt",
                         "需要密码时必须解释在哪里输入、字符为何不显示以及如何取消。");
        }
    }
    if (steps.empty()) return;
    std::vector<std::int64_t> orders;
    orders.reserve(steps.size());
    for (const ActionStep& step : steps) orders.push_back(step.order);
    std::sort(orders.begin(), orders.end());
    for (std::size_t j = 0; j < orders.size(); ++j) {
        if (orders[j] != static_cast<std::int64_t>(j) + 1) {
            issues.error("non_contiguous_steps", itemPath + ".steps",
                         "步骤序号必须连续，从 1 依次增加。");
            break;
        }
    }
}

void checkItem(const InterventionItem& item, const std::string& base,
               std::set<std::string_view>& itemIdsSeen, IssueList& issues) {
    if (!isIdentifier(item.id)) {
        issues.error("invalid_identifier", base + ".id", "事项 id 格式不正确。");
    } else if (!itemIdsSeen.insert(item.id).second) {
        issues.error("duplicate_item_id", base + ".id", "同一回执内的事项 id 不能重复。");
    }
    if (isBlank(item.title)) {
        issues.error("missing_title", base + ".title", "必须写明本人要完成的事项。");
    }
    if (isBlank(item.reason)) {
        issues.error("missing_reason", base + ".reason", "必须解释为什么需要本人介入。");
    }
    if (isBlank(item.expectedOutcome)) {
        issues.error("missing_outcome", base + ".expected_outcome", "必须写明完成后的预期结果。");
    }
    if (item.estimatedMinutes < 1 || item.estimatedMinutes > 1440) {
        issues.error("invalid_estimate", base + ".estimated_minutes",
                     "预计耗时必须在 1–1440 分钟之间。");
    }
    if (item.steps.empty()) {
        issues.error("missing_steps", base + ".steps", "每个人工介入事项至少需要一个编号步骤。");
    }
    checkSteps(item.steps, base, issues);
    if (isBlank(item.verification.instruction)) {
        issues.error("missing_verification", base + ".verification.instruction",
                     "必须说明最后如何核验。");
    }
    if (isBlank(item.verification.successEvidence)) {
        issues.error("missing_evidence", base + ".verification.success_evidence",
                     "必须写明核验通过时能看到的证据。");
    }
    if (item.priority == TaskPriority::critical && isAbsentOrBlank(item.risk)) {
        issues.warning("critical_without_risk", base + ".risk", "立即处理事项建议明确风险说明。");
    }
    const bool runsSudo =
        std::any_of(item.steps.begin(), item.steps.end(), [](const ActionStep& s) {
            return s.command && s.command->find("sudo") != std::string::npos;
        });
    if (runsSudo && isAbsentOrBlank(item.rollback)) {
        issues.warning("sudo_without_rollback", base + ".rollback",
                       "包含 sudo 的事项建议提供回退办法。");
    }
}

}  // namespace

std::vector<ValidationIssue> ReceiptValidator::validate(const InterventionReceipt& receipt) const {
    IssueList issues;
    if (!receipt.schemaVersion.starts_with("1.")) {
        issues.error("unsupported_schema", "schema_version", "当前只支持 1.x 版回执协议。");
    }
    if (!isIdentifier(receipt.receiptId)) {
        issues.error("invalid_identifier", "receipt_id",
                     "receipt_id 只能包含字母、数字、点、下划线、冒号和连字符，长度为 3–120。");
    }
    if (receipt.version < 1) {
        issues.error("invalid_version", "version", "version 必须从 1 开始。");
    }
    if (isBlank(receipt.source.taskTitle)) {
        issues.error("missing_task_title", "source.task_title", "必须写明原 Agent 任务标题。");
    }
    if (isBlank(receipt.project.name)) {
        issues.error("missing_project", "project.name", "必须写明项目名称。");
    }
    if (isBlank(receipt.project.path)) {
        issues.error("missing_project_path", "project.path", "必须写明项目绝对路径。");
    }
    // Tested as given, not trimmed: " /tmp" is not absolute.
    if (!receipt.project.path.starts_with('/')) {
        issues.error("non_absolute_path", "project.path", "macOS MVP 要求项目路径使用绝对路径。");
    }
    if (isBlank(receipt.summary)) {
        issues.error("missing_summary", "summary", "必须用一句话说明 Agent 当前为什么结束或暂停。");
    }
    if (receipt.requiresUserAction && receipt.items.empty()) {
        issues.error("missing_actions", "items",
                     "requires_user_action 为 true 时至少需要一个人工介入事项。");
    }
    if (!receipt.requiresUserAction && !receipt.items.empty()) {
        issues.error("action_flag_mismatch", "requires_user_action",
                     "存在人工介入事项时 requires_user_action 必须为 true。");
    }
    std::set<std::string_view> itemIdsSeen;
    for (std::size_t i = 0; i < receipt.items.size(); ++i) {
        checkItem(receipt.items[i], "items[" + std::to_string(i) + "]", itemIdsSeen, issues);
    }
    return issues.take();
}

std::vector<ValidationIssue> ReceiptValidator::errors(const InterventionReceipt& receipt) const {
    std::vector<ValidationIssue> issues = validate(receipt);
    std::erase_if(issues,
                  [](const ValidationIssue& issue) { return issue.severity != Severity::error; });
    return issues;
}

}  // namespace kestrin
