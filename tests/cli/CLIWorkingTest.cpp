// step, snooze, status, resume, close, cancel and delete through the real
// binary: what each writes to the store, what it prints, and what it refuses.
// The resume message and the store's own refusals are the core's texts; here
// only the command's title before them.

#include <chrono>

#include "CLIFixture.h"
#include "core/receipt/Timestamp.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {

using Rows = std::vector<std::string>;

class CLIWorkingTest : public CLIFixture {
protected:
    void SetUp() override {
        CLIFixture::SetUp();
        importFile(testData("intake/deploy-v1.json"));
        importFile(testData("cli/claude-web.json"));
    }

    // "status|ticks" of `taskKey`, or nothing when it is gone.
    Rows stateOf(const std::string& taskKey) const {
        return rows(
            "SELECT status, (SELECT group_concat(step_id) FROM step_progress p WHERE "
            "p.task_key = t.task_key) FROM tasks t WHERE task_key = '" +
            taskKey + "';");
    }
};

const std::string grantTask = "rc-web-7::grant";

// One command after another on the same store: its exit status, its exact output (or, for a
// refusal, the start of its one line on stderr) and the state of the task it names afterwards.
TEST_F(CLIWorkingTest, CommandsChangeTheStoreOnlyWhereAllowed) {
    struct Step {
        std::vector<std::string> arguments;
        int exitStatus;
        std::string output;  // stdout, or for exit status 1 the start of stderr
        std::string state;   // of arguments[1]: "status|ticks"
    };
    const std::string sudo = sudoTask;
    const Step steps[] = {
        {{"step", grantTask, "confirm"}, 0, "第 2 步，已完成\n", "in_progress|confirm"},
        {{"step", grantTask, "confirm", "--undo"}, 0, "第 2 步，未完成\n", "in_progress|<null>"},
        {{"step", grantTask, "step-9"},
         1,
         "无法更新步骤：“在浏览器中授权部署平台访问代码仓库”没有步骤 step-9。\n",
         "in_progress|<null>"},
        {{"step", "rc-x::nope", "open"}, 1, "无法更新步骤：", ""},
        {{"status", sudo, "waiting_external"},
         0,
         "状态已改为“等待外部”\n",
         "waiting_external|<null>"},
        {{"status", sudo, "snoozed"}, 2, "", "waiting_external|<null>"},
        {{"status", "rc-x::nope", "pending"}, 1, "无法更新状态：", ""},
        {{"close", sudo},
         1,
         "无法关闭事项：“在终端运行安装命令”当前是“等待外部”；确认恢复消息已经回传后，再关闭事项。"
         "\n",
         "waiting_external|<null>"},
        {{"resume", sudo},
         1,
         "还有步骤未完成：请按顺序完成并核对所有步骤，再生成恢复消息。\n",
         "waiting_external|<null>"},
        {{"step", sudo, "step-1"}, 0, "第 1 步，已完成\n", "waiting_external|step-1"},
        {{"resume", sudo, "--notes", "  已安装\n"}, 0, "", "ready_to_resume|step-1"},
        {{"cancel", sudo},
         1,
         "无法取消事项：“在终端运行安装命令”当前是“待回传 Agent”。\n",
         "ready_to_resume|step-1"},
        {{"close", sudo}, 0, "事项已关闭：在终端运行安装命令\n", "completed|step-1"},
        {{"close", sudo}, 0, "事项已关闭：在终端运行安装命令\n", "completed|step-1"},
        {{"step", grantTask, "open"}, 0, "第 1 步，已完成\n", "in_progress|open"},
        {{"resume", grantTask, "--force"}, 0, "", "ready_to_resume|open"},
        {{"status", grantTask, "pending"}, 0, "状态已改为“待处理”\n", "pending|open"},
        {{"cancel", grantTask},
         0,
         "已取消并关闭事项：在浏览器中授权部署平台访问代码仓库\n",
         "cancelled|open"},
        {{"cancel", grantTask},
         0,
         "已取消并关闭事项：在浏览器中授权部署平台访问代码仓库\n",
         "cancelled|open"},
        {{"delete", approveTask, "rc-x::nope", sudo}, 1, "无法删除事项：", "pending|<null>"},
        {{"delete", approveTask, sudo},
         0,
         "已删除 2 项\n任务已从当前列表永久删除；对应回执仍保留在“回执历史”中。\n",
         ""},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.arguments[0] + " " + step.arguments[1]);
        const CLIRun done = run(step.arguments);
        EXPECT_EQ(done.exitStatus, step.exitStatus) << done.errors;
        if (step.exitStatus == 1) {
            EXPECT_EQ(done.output, "");
            EXPECT_EQ(done.errors.rfind(step.output, 0), 0u) << done.errors;
            EXPECT_EQ(done.errors.find('\n'), done.errors.size() - 1) << done.errors;
        } else if (!step.output.empty()) {
            EXPECT_EQ(done.output, step.output);
        }
        EXPECT_EQ(stateOf(step.arguments[1]), step.state.empty() ? Rows{} : Rows{step.state});
    }
    EXPECT_EQ(rows("SELECT task_key FROM tasks; SELECT count(*) FROM receipts;"),
              (Rows{grantTask, "2"}));
}

TEST_F(CLIWorkingTest, ResumeCountsOnlyTheItemsOwnStepsAsDone) {
    // A tick of a step the item does not have (written by some other program)
    // must not stand in for the real step.
    exec(
        "INSERT INTO step_progress (task_key, step_id, completed_at) VALUES "
        "('rc-deploy-2026::item-sudo', 'ghost', '2026-07-27T08:30:00.000Z');");
    EXPECT_EQ(run({"resume", sudoTask}).exitStatus, 1);
    EXPECT_EQ(stateOf(sudoTask), Rows{"pending|ghost"});
}

TEST_F(CLIWorkingTest, SnoozeChoicesWakeAfterFifteenMinutesAnHourOrADay) {
    const std::pair<const char*, std::chrono::seconds> choices[] = {
        {"15m", std::chrono::seconds(900)},
        {"1h", std::chrono::seconds(3600)},
        {"tomorrow", std::chrono::seconds(86400)}};
    for (const auto& [choice, duration] : choices) {
        SCOPED_TRACE(choice);
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
    // Setting another status clears the wake-up time.
    ASSERT_EQ(run({"status", sudoTask, "pending"}).exitStatus, 0);
    EXPECT_EQ(
        rows("SELECT snoozed_until FROM tasks WHERE task_key = '" + std::string(sudoTask) + "';"),
        Rows{"<null>"});
}

}  // namespace
