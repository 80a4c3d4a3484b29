// step, snooze, status, resume, close, cancel and delete through the real
// binary: what each writes to the store, what it prints, and what it refuses.

#include <chrono>

#include "CLIFixture.h"
#include "core/receipt/Timestamp.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {

class CLIWorkingTest : public CLIFixture {
protected:
    void SetUp() override {
        CLIFixture::SetUp();
        importFile(testData("intake/deploy-v1.json"));
        importFile(testData("cli/claude-web.json"));
    }

    std::string statusOf(const std::string& taskKey) const {
        const auto found = rows("SELECT status FROM tasks WHERE task_key = '" + taskKey + "';");
        return found.empty() ? "<missing>" : found.front();
    }

    // Ticks the one step of the sudo task and hands it back.
    void makeSudoTaskReady() const {
        ASSERT_EQ(run({"step", sudoTask, "step-1"}).exitStatus, 0);
        ASSERT_EQ(run({"resume", sudoTask}).exitStatus, 0);
    }

    std::vector<std::string> ticks(const std::string& taskKey) const {
        return rows("SELECT step_id FROM step_progress WHERE task_key = '" + taskKey +
                    "' ORDER BY step_id;");
    }
};

const char* const grantTask = "rc-web-7::grant";

TEST_F(CLIWorkingTest, StepTicksAndUnticksAndTheFirstTickStartsTheTask) {
    const CLIRun ticked = run({"step", grantTask, "confirm"});
    EXPECT_EQ(ticked.exitStatus, 0);
    EXPECT_EQ(ticked.output, "第 2 步，已完成\n");
    EXPECT_EQ(ticks(grantTask), (std::vector<std::string>{"confirm"}));
    EXPECT_EQ(statusOf(grantTask), "in_progress");

    const CLIRun unticked = run({"step", grantTask, "confirm", "--undo"});
    EXPECT_EQ(unticked.exitStatus, 0);
    EXPECT_EQ(unticked.output, "第 2 步，未完成\n");
    EXPECT_TRUE(ticks(grantTask).empty());
    EXPECT_EQ(statusOf(grantTask), "in_progress");
}

TEST_F(CLIWorkingTest, StepRefusesUnknownStepsAndTasks) {
    const CLIRun unknownStep = run({"step", grantTask, "step-9"});
    EXPECT_EQ(unknownStep.exitStatus, 1);
    EXPECT_EQ(unknownStep.output, "");
    EXPECT_EQ(unknownStep.errors,
              "无法更新步骤：“在浏览器中授权部署平台访问代码仓库”没有步骤 step-9。\n");
    EXPECT_TRUE(ticks(grantTask).empty());
    EXPECT_EQ(statusOf(grantTask), "pending");

    const CLIRun unknownTask = run({"step", "rc-x::nope", "open"});
    EXPECT_EQ(unknownTask.exitStatus, 1);
    EXPECT_EQ(unknownTask.errors, "无法更新步骤：找不到任务：rc-x::nope\n");
}

TEST_F(CLIWorkingTest, SnoozeChoicesWakeAfterFifteenMinutesAnHourOrADay) {
    const std::pair<const char*, std::chrono::seconds> choices[] = {
        {"15m", std::chrono::seconds(900)},
        {"1h", std::chrono::seconds(3600)},
        {"tomorrow", std::chrono::seconds(86400)}};
    for (const auto& [choice, duration] : choices) {
        const Timestamp before = currentTimestamp();
        const CLIRun snoozed = run({"snooze", sudoTask, choice});
        const Timestamp after = currentTimestamp();
        ASSERT_EQ(snoozed.exitStatus, 0) << snoozed.errors;
        const auto stored = rows("SELECT status, snoozed_until FROM tasks WHERE task_key = '" +
                                 std::string(sudoTask) + "';");
        ASSERT_EQ(stored.size(), 1u);
        EXPECT_EQ(stored[0].substr(0, 8), "snoozed|");
        const std::string untilText = stored[0].substr(8);
        const auto until = parseKestrinISO8601(untilText);
        ASSERT_TRUE(until) << stored[0];
        EXPECT_GE(*until, before + duration);
        EXPECT_LE(*until, after + duration);
        // Shown in local time (UTC here) to the minute.
        EXPECT_EQ(snoozed.output,
                  "已暂缓到 " + untilText.substr(0, 10) + " " + untilText.substr(11, 5) + "\n");
    }
    EXPECT_EQ(run({"count"}).output, "3\n");  // a snoozed task is still open
}

TEST_F(CLIWorkingTest, StatusSetsAnyStatusButSnoozedWithoutAWakeUpTime) {
    ASSERT_EQ(run({"snooze", sudoTask, "15m"}).exitStatus, 0);
    const CLIRun waiting = run({"status", sudoTask, "waiting_external"});
    EXPECT_EQ(waiting.exitStatus, 0);
    EXPECT_EQ(waiting.output, "状态已改为“等待外部”\n");
    EXPECT_EQ(rows("SELECT status, snoozed_until FROM tasks WHERE task_key = '" +
                   std::string(sudoTask) + "';"),
              (std::vector<std::string>{"waiting_external|<null>"}));

    const CLIRun snoozed = run({"status", sudoTask, "snoozed"});
    EXPECT_EQ(snoozed.exitStatus, 2);
    EXPECT_EQ(statusOf(sudoTask), "waiting_external");

    const CLIRun missing = run({"status", "rc-x::nope", "pending"});
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_EQ(missing.errors, "无法更新状态：找不到任务：rc-x::nope\n");
}

TEST_F(CLIWorkingTest, ResumeIsRefusedWhileStepsAreOpenUnlessForced) {
    ASSERT_EQ(run({"step", grantTask, "open"}).exitStatus, 0);
    const CLIRun refused = run({"resume", grantTask});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(refused.output, "");
    EXPECT_EQ(refused.errors, "还有步骤未完成：请按顺序完成并核对所有步骤，再生成恢复消息。\n");
    EXPECT_EQ(statusOf(grantTask), "in_progress");

    const CLIRun forced = run({"resume", grantTask, "--force"});
    EXPECT_EQ(forced.exitStatus, 0);
    EXPECT_EQ(forced.output,
              "请从人工介入结果继续原任务。\n"
              "\n"
              "项目：网站\n"
              "原任务：重构网站首页\n"
              "回执：rc-web-7 v2\n"
              "人工事项：在浏览器中授权部署平台访问代码仓库\n"
              "\n"
              "已执行：\n"
              "- 第 1 步：打开授权页面（已完成）\n"
              "\n"
              "尚未执行：\n"
              "- 第 2 步：确认授权（未完成）\n"
              "\n"
              "核验要求：刷新集成设置页面。\n"
              "成功证据：仓库显示为已连接。\n"
              "\n"
              "Agent 恢复上下文：继续部署首页。\n"
              "\n"
              "请先核对以上结果，再继续执行；不要把未执行步骤推断为已完成。\n");
    EXPECT_EQ(statusOf(grantTask), "ready_to_resume");
}

TEST_F(CLIWorkingTest, ResumeCarriesTrimmedNotesOnceEveryStepIsTicked) {
    ASSERT_EQ(run({"step", sudoTask, "step-1"}).exitStatus, 0);
    const CLIRun resumed = run({"resume", sudoTask, "--notes", "  已安装，make check 通过\n"});
    EXPECT_EQ(resumed.exitStatus, 0);
    EXPECT_EQ(resumed.output,
              "请从人工介入结果继续原任务。\n"
              "\n"
              "项目：staging\n"
              "原任务：Deploy the staging server\n"
              "回执：rc-deploy-2026 v1\n"
              "人工事项：在终端运行安装命令\n"
              "\n"
              "已执行：\n"
              "- 第 1 步：运行安装（已完成）\n"
              "\n"
              "尚未执行：\n"
              "- 无\n"
              "\n"
              "核验要求：运行 make check。\n"
              "成功证据：全部测试通过。\n"
              "\n"
              "本人记录：已安装，make check 通过\n"
              "\n"
              "请先核对以上结果，再继续执行；不要把未执行步骤推断为已完成。\n");
    EXPECT_EQ(statusOf(sudoTask), "ready_to_resume");
}

TEST_F(CLIWorkingTest, ResumeCountsOnlyTheItemsOwnStepsAsDone) {
    // A tick of a step the item does not have (written by some other program)
    // must not stand in for the real step.
    exec(
        "INSERT INTO step_progress (task_key, step_id, completed_at) VALUES "
        "('rc-deploy-2026::item-sudo', 'ghost', '2026-07-27T08:30:00.000Z');");
    const CLIRun refused = run({"resume", sudoTask});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(statusOf(sudoTask), "pending");
}

TEST_F(CLIWorkingTest, CloseCompletesOnlyATaskReadyToResume) {
    const CLIRun early = run({"close", sudoTask});
    EXPECT_EQ(early.exitStatus, 1);
    EXPECT_EQ(
        early.errors,
        "无法关闭事项：“在终端运行安装命令”当前是“待处理”；确认恢复消息已经回传后，再关闭事项。\n");
    EXPECT_EQ(statusOf(sudoTask), "pending");

    makeSudoTaskReady();
    const CLIRun closed = run({"close", sudoTask});
    EXPECT_EQ(closed.exitStatus, 0);
    EXPECT_EQ(closed.output, "事项已关闭：在终端运行安装命令\n");
    EXPECT_EQ(statusOf(sudoTask), "completed");
    // Closing again changes nothing and is not an error.
    EXPECT_EQ(run({"close", sudoTask}).exitStatus, 0);
    EXPECT_EQ(statusOf(sudoTask), "completed");
}

TEST_F(CLIWorkingTest, CancelClosesAnOpenTaskAndKeepsItsTicks) {
    ASSERT_EQ(run({"step", grantTask, "open"}).exitStatus, 0);
    const CLIRun cancelled = run({"cancel", grantTask});
    EXPECT_EQ(cancelled.exitStatus, 0);
    EXPECT_EQ(cancelled.output, "已取消并关闭事项：在浏览器中授权部署平台访问代码仓库\n");
    EXPECT_EQ(statusOf(grantTask), "cancelled");
    EXPECT_EQ(ticks(grantTask), (std::vector<std::string>{"open"}));
    EXPECT_EQ(run({"cancel", grantTask}).exitStatus, 0);

    makeSudoTaskReady();
    const CLIRun ready = run({"cancel", sudoTask});
    EXPECT_EQ(ready.exitStatus, 1);
    EXPECT_EQ(ready.errors, "无法取消事项：“在终端运行安装命令”当前是“待回传 Agent”。\n");
    EXPECT_EQ(statusOf(sudoTask), "ready_to_resume");
}

TEST_F(CLIWorkingTest, DeleteRemovesAllTheTasksOrNoneAndKeepsTheReceipts) {
    const CLIRun partly = run({"delete", sudoTask, "rc-x::nope", approveTask});
    EXPECT_EQ(partly.exitStatus, 1);
    EXPECT_EQ(partly.errors, "无法删除事项：找不到任务：rc-x::nope\n");
    EXPECT_EQ(rows("SELECT count(*) FROM tasks;"), (std::vector<std::string>{"3"}));

    const CLIRun deleted = run({"delete", sudoTask, approveTask});
    EXPECT_EQ(deleted.exitStatus, 0);
    EXPECT_EQ(deleted.output,
              "已删除 2 项\n任务已从当前列表永久删除；对应回执仍保留在“回执历史”中。\n");
    EXPECT_EQ(rows("SELECT task_key FROM tasks;"), (std::vector<std::string>{grantTask}));
    EXPECT_EQ(rows("SELECT count(*) FROM receipts;"), (std::vector<std::string>{"2"}));
}

}  // namespace
