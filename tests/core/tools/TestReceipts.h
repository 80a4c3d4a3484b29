#pragma once

// Receipts built in code for the store's tests and helper programs.

#include <string>
#include <vector>

#include "core/receipt/InterventionReceipt.h"
#include "core/receipt/ReceiptJSON.h"
#include "core/receipt/Timestamp.h"

namespace kestrin::testing {

// An item with one step per identifier in `stepIDs`.
inline InterventionItem makeItem(const std::string& id,
                                 TaskPriority priority = TaskPriority::medium,
                                 const std::vector<std::string>& stepIDs = {"s1", "s2"}) {
    InterventionItem item;
    item.id = id;
    item.title = "处理 " + id;
    item.reason = "需要本人操作";
    item.expectedOutcome = "完成后 Agent 可以继续";
    item.category = InterventionCategory::terminal;
    item.priority = priority;
    item.estimatedMinutes = 5;
    std::int64_t order = 1;
    for (const auto& stepID : stepIDs) {
        ActionStep step;
        step.id = stepID;
        step.order = order++;
        step.title = "步骤 " + stepID;
        step.instruction = "在终端运行命令";
        step.kind = ActionKind::verify;
        step.command = "make check";
        step.successSignal = "看到 ok";
        step.failureAction = "把输出贴回";
        item.steps.push_back(step);
    }
    item.verification = {"运行测试", "全部通过"};
    item.rollback = "git checkout .";
    return item;
}

inline InterventionReceipt makeReceipt(const std::string& receiptID, std::int64_t version,
                                       std::vector<InterventionItem> items) {
    InterventionReceipt receipt;
    receipt.schemaVersion = "1.0";
    receipt.receiptId = receiptID;
    receipt.version = version;
    receipt.createdAt = *parseKestrinISO8601("2026-07-27T08:30:00Z");
    receipt.updatedAt = *parseKestrinISO8601("2026-07-27T09:00:00.250Z");
    receipt.source = {AgentKind::codex, "修复构建", "019a0000-0000-7000-8000-000000000001",
                      std::nullopt};
    receipt.project = {"velmora", "/Users/dev/velmora"};
    receipt.state = ReceiptState::waitingForUser;
    receipt.requiresUserAction = !items.empty();
    receipt.summary = "需要输入密码后继续";
    receipt.items = std::move(items);
    return receipt;
}

// The bytes an agent would have sent for `receipt`.
inline std::string rawJSON(const InterventionReceipt& receipt) {
    return ReceiptJSON::makeEncoder(false).encode(receipt);
}

}  // namespace kestrin::testing
