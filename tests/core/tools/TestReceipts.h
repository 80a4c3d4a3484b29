#pragma once

#include <string>
#include <vector>

#include "core/receipt/InterventionReceipt.h"
#include "core/receipt/ReceiptJSON.h"
#include "core/receipt/Timestamp.h"

namespace kestrin::testing {

inline InterventionItem makeItem(const std::string& id,
                                 TaskPriority priority = TaskPriority::medium,
                                 const std::vector<std::string>& stepIDs = {"s1", "s2"}) {
    std::vector<ActionStep> steps;
    for (const auto& stepID : stepIDs)
        steps.push_back({stepID, std::ssize(steps) + 1, "步骤 " + stepID, "在终端运行命令",
                         ActionKind::verify, std::nullopt, "make check", false, std::nullopt,
                         "看到 ok", "把输出贴回"});
    const VerificationPlan verification{"运行测试", "全部通过"};
    return InterventionItem(id, "处理 " + id, "需要本人操作", "完成后 Agent 可以继续",
                            InterventionCategory::terminal, priority, 5, std::vector<std::string>(),
                            steps, verification, std::nullopt, "git checkout .", std::nullopt,
                            std::nullopt);
}

inline InterventionReceipt makeReceipt(const std::string& receiptID, std::int64_t version,
                                       std::vector<InterventionItem> items) {
    const bool requiresUserAction = !items.empty();
    return InterventionReceipt(
        "1.0", receiptID, version, *parseKestrinISO8601("2026-07-27T08:30:00Z"),
        *parseKestrinISO8601("2026-07-27T09:00:00.250Z"),
        ReceiptSource(AgentKind::codex, "修复构建", "019a0000-0000-7000-8000-000000000001",
                      std::nullopt),
        ReceiptProject("velmora", "/Users/dev/velmora"), ReceiptState::waitingForUser,
        requiresUserAction, "需要输入密码后继续", std::move(items));
}

// A receipt whose items each have the steps "step-1" and "step-2".
inline InterventionReceipt validReceipt(const std::string& receiptID, std::int64_t version,
                                        const std::vector<std::string>& itemIDs = {"item-1"}) {
    std::vector<InterventionItem> items;
    for (const auto& id : itemIDs)
        items.push_back(makeItem(id, TaskPriority::medium, {"step-1", "step-2"}));
    return makeReceipt(receiptID, version, std::move(items));
}

inline std::string rawJSON(const InterventionReceipt& receipt) {
    return ReceiptJSON::makeEncoder(false).encode(receipt);
}

}  // namespace kestrin::testing
