#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/receipt/ActionKind.h"
#include "core/receipt/AgentKind.h"
#include "core/receipt/InterventionCategory.h"
#include "core/receipt/ReceiptState.h"
#include "core/receipt/TaskPriority.h"
#include "core/store/TaskStatus.h"

using namespace kestrin;

namespace {

// Every case in declared order as "raw|display name|symbol name", so one
// comparison pins order, wire values and user-visible texts together.
template <typename E>
std::vector<std::string> describeCases() {
    std::vector<std::string> out;
    for (const auto& c : allCases<E>()) {
        out.push_back(std::string(rawValue(c.value)) + "|" + std::string(displayName(c.value)) +
                      "|" + std::string(systemImage(c.value)));
        EXPECT_EQ(fromRawValue<E>(c.rawValue), c.value);
    }
    return out;
}

using Cases = std::vector<std::string>;

}  // namespace

TEST(ClosedEnum, CasesRawValuesAndNames) {
    EXPECT_EQ(describeCases<AgentKind>(), (Cases{"codex|Codex|", "claude_code|Claude Code|",
                                                 "opencode|OpenCode|", "other|其他 Agent|"}));
    EXPECT_EQ(describeCases<ReceiptState>(),
              (Cases{"completed|Agent 已结束|", "blocked|Agent 被阻塞|",
                     "waiting_for_user|等待本人操作|", "paused|Agent 已暂停|"}));
    EXPECT_EQ(describeCases<InterventionCategory>(),
              (Cases{"terminal|终端命令|terminal", "interface|界面操作|macwindow",
                     "permission|权限与登录|lock.shield", "decision|判断与审批|checkmark.seal",
                     "physical|线下或设备|wrench.and.screwdriver",
                     "external_wait|等待外部结果|clock.arrow.circlepath"}));
    EXPECT_EQ(describeCases<TaskPriority>(),
              (Cases{"critical|立即处理|", "high|高|", "medium|中|", "low|低|"}));
    EXPECT_EQ(describeCases<ActionKind>(),
              (Cases{"open_application|打开应用|", "navigate|进入位置|", "paste|粘贴内容|",
                     "run_command|运行命令|", "enter_credential|输入凭据|", "choose|作出选择|",
                     "verify|核验结果|", "wait|等待|", "physical|线下操作|"}));
    EXPECT_EQ(describeCases<TaskStatus>(),
              (Cases{"pending|待处理|tray.full", "in_progress|处理中|play.circle",
                     "snoozed|已暂缓|moon.zzz", "waiting_external|等待外部|hourglass",
                     "ready_to_resume|待回传 Agent|arrowshape.turn.up.right.circle",
                     "completed|已完成|checkmark.circle", "cancelled|已取消|xmark.circle"}));
}

TEST(ClosedEnum, RawValuesMatchExactly) {
    EXPECT_EQ(fromRawValue<AgentKind>("Codex"), std::nullopt);
    EXPECT_EQ(fromRawValue<AgentKind>("claude-code"), std::nullopt);
    EXPECT_EQ(fromRawValue<TaskStatus>("in_progress "), std::nullopt);
    EXPECT_EQ(fromRawValue<ReceiptState>("waitingForUser"), std::nullopt);
}

TEST(ClosedEnum, PriorityRankAndClosedStatuses) {
    std::vector<int> ranks;
    for (const auto& c : allCases<TaskPriority>()) ranks.push_back(sortRank(c.value));
    EXPECT_EQ(ranks, (std::vector<int>{0, 1, 2, 3}));
    std::vector<std::string_view> closed;
    for (const auto& c : allCases<TaskStatus>()) {
        if (isClosed(c.value)) closed.push_back(c.rawValue);
    }
    EXPECT_EQ(closed, (std::vector<std::string_view>{"completed", "cancelled"}));
}
