#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/receipt/ActionKind.h"
#include "core/receipt/AgentKind.h"
#include "core/receipt/InterventionCategory.h"
#include "core/receipt/ReceiptState.h"
#include "core/receipt/TaskPriority.h"
#include "core/receipt/Timestamp.h"
#include "core/store/TaskStatus.h"

using namespace kestrin;

namespace {

// Every case in order as "raw|display name|symbol|rank or closed"; each raw value reads back.
template <typename E>
std::vector<std::string> describeCases() {
    std::vector<std::string> out;
    for (const auto& c : allCases<E>()) {
        std::string text = std::string(rawValue(c.value)) + "|" +
                           std::string(displayName(c.value)) + "|" +
                           std::string(systemImage(c.value));
        if constexpr (std::is_same_v<E, TaskPriority>)
            text += "|" + std::to_string(sortRank(c.value));
        if constexpr (std::is_same_v<E, TaskStatus>) text += isClosed(c.value) ? "|closed" : "";
        out.push_back(text);
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
              (Cases{"critical|立即处理||0", "high|高||1", "medium|中||2", "low|低||3"}));
    EXPECT_EQ(describeCases<ActionKind>(),
              (Cases{"open_application|打开应用|", "navigate|进入位置|", "paste|粘贴内容|",
                     "run_command|运行命令|", "enter_credential|输入凭据|", "choose|作出选择|",
                     "verify|核验结果|", "wait|等待|", "physical|线下操作|"}));
    EXPECT_EQ(describeCases<TaskStatus>(),
              (Cases{"pending|待处理|tray.full", "in_progress|处理中|play.circle",
                     "snoozed|已暂缓|moon.zzz", "waiting_external|等待外部|hourglass",
                     "ready_to_resume|待回传 Agent|arrowshape.turn.up.right.circle",
                     "completed|已完成|checkmark.circle|closed",
                     "cancelled|已取消|xmark.circle|closed"}));
}

// Finer digits are dropped; refused: other forms and instants outside the years 0 to 9999 in UTC.
TEST(Timestamp, ReadsZonedTextsAndWritesUtcMilliseconds) {
    const std::pair<const char*, const char*> cases[] = {
        {"2026-07-27T16:30:00.250+08:00", "2026-07-27T08:30:00.250Z"},
        {"2026-07-27T08:30:00Z", "2026-07-27T08:30:00.000Z"},
        {"1999-12-31T23:59:59.5-00:30", "2000-01-01T00:29:59.500Z"},
        {"2026-07-27T08:30:00.999999999Z", "2026-07-27T08:30:00.999Z"},
        {"0000-01-01T00:01:00+00:01", "0000-01-01T00:00:00.000Z"},
        {"9999-12-31T23:59:59.999Z", "9999-12-31T23:59:59.999Z"},
    };
    for (const auto& [text, written] : cases) {
        const auto instant = parseKestrinISO8601(text);
        EXPECT_EQ(instant ? kestrinISO8601(*instant) : "", written) << text;
    }
    for (const char* text :
         {"2026-07-27T08:30:00", "2026-07-27", "", "2026-07-27t08:30:00Z", "2026-07-27T08:30:00z",
          "2026-07-27T08:30:00+0800", "2026-02-30T08:30:00Z", "2026-07-27T24:00:00Z",
          "2026-07-27T08:30:60Z", "2026-07-27T08:30:00.Z", "2026-07-27T08:30:00Z ",
          " 2026-07-27T08:30:00Z", "0000-01-01T00:00:00+00:01", "9999-12-31T23:59:59.999-00:01"}) {
        EXPECT_EQ(parseKestrinISO8601(text), std::nullopt) << text;
    }
}
