// step, snooze, status, resume, close, cancel and delete through the real binary: what each writes,
// prints and refuses, and that it writes the very rows the desktop app's model writes. The resume
// message and the store's refusals are the core's texts; here only the command's title before them.

#include <chrono>

#include "CLIFixture.h"
#include "core/handback/ResumeMessageBuilder.h"
#include "core/receipt/Timestamp.h"
#include "core/store/SQLiteTaskStore.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {

using CLIWorkingTest = CLIFixture;

const std::string grant = "rc-web-7::grant";

// One command after another on one store: exit status, exact output (for a refusal the start of
// its one line on stderr), and "status|ticks" of the task it names afterwards.
TEST_F(CLIWorkingTest, CommandsChangeTheStoreOnlyWhereAllowed) {
    importFiles({deployReceipt, webReceipt});
    struct Step {
        std::vector<std::string> arguments;
        int exitStatus;
        std::string output;
        std::string state;
    };
    const std::string sudo = sudoTask, nope = "rc-x::nope";
    const std::string sudoTitle = "在终端运行安装命令",
                      grantTitle = "在浏览器中授权部署平台访问代码仓库";
    // clang-format off
    const Step steps[] = {
        {{"step", grant, "confirm"}, 0, "第 2 步，已完成\n", "in_progress|confirm"},
        {{"step", grant, "confirm", "--undo"}, 0, "第 2 步，未完成\n", "in_progress|<null>"},
        {{"step", grant, "step-9"}, 1, "无法更新步骤：“" + grantTitle + "”没有步骤 step-9。\n",
         "in_progress|<null>"},
        {{"step", nope, "open"}, 1, "无法更新步骤：", ""},
        {{"status", sudo, "waiting_external"}, 0, "状态已改为“等待外部”\n", "waiting_external|<null>"},
        {{"status", sudo, "snoozed"}, 2, "", "waiting_external|<null>"},
        {{"status", nope, "pending"}, 1, "无法更新状态：", ""},
        {{"close", sudo}, 1, "无法关闭事项：“" + sudoTitle + "”当前是“等待外部”；确认恢复消息已经回传后，"
         "再关闭事项。\n", "waiting_external|<null>"},
        {{"resume", sudo}, 1, "还有步骤未完成：请按顺序完成并核对所有步骤，再生成恢复消息。\n",
         "waiting_external|<null>"},
        {{"step", sudo, "step-1"}, 0, "第 1 步，已完成\n", "waiting_external|step-1"},
        {{"resume", sudo, "--notes", "  已安装\n"}, 0, "", "ready_to_resume|step-1"},
        {{"cancel", sudo}, 1, "无法取消事项：“" + sudoTitle + "”当前是“待回传 Agent”。\n",
         "ready_to_resume|step-1"},
        {{"close", sudo}, 0, "事项已关闭：" + sudoTitle + "\n", "completed|step-1"},
        {{"close", sudo}, 0, "事项已关闭：" + sudoTitle + "\n", "completed|step-1"},
        {{"step", grant, "open"}, 0, "第 1 步，已完成\n", "in_progress|open"},
        {{"resume", grant, "--force"}, 0, "", "ready_to_resume|open"},
        {{"status", grant, "pending"}, 0, "状态已改为“待处理”\n", "pending|open"},
        {{"cancel", grant}, 0, "已取消并关闭事项：" + grantTitle + "\n", "cancelled|open"},
        {{"cancel", grant}, 0, "已取消并关闭事项：" + grantTitle + "\n", "cancelled|open"},
        {{"delete", approveTask, nope, sudo}, 1, "无法删除事项：", "pending|<null>"},
        {{"delete", approveTask, sudo}, 0,
         "已删除 2 项\n任务已从当前列表永久删除；对应回执仍保留在“回执历史”中。\n", ""},
    };
    // clang-format on
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
        EXPECT_EQ(rows("SELECT status, (SELECT group_concat(step_id) FROM step_progress p WHERE "
                       "p.task_key = t.task_key) FROM tasks t WHERE task_key = '" +
                       step.arguments[1] + "';"),
                  step.state.empty() ? Rows{} : Rows{step.state});
    }
    EXPECT_EQ(rows("SELECT task_key FROM tasks; SELECT count(*) FROM receipts;"),
              (Rows{grant, "2"}));
    // Ticks of steps the item does not have (written by another program) stand for nothing.
    exec(
        "DELETE FROM step_progress; UPDATE tasks SET status = 'pending';"
        "INSERT INTO step_progress (task_key, step_id, completed_at) VALUES ('" +
        grant + "', 'ghost', '2026-07-27T08:30:00.000Z'), ('" + grant +
        "', 'open2', '2026-07-27T08:30:00.000Z');");
    EXPECT_EQ(run({"resume", grant}).exitStatus, 1);
    EXPECT_EQ(statusOf(grant), "pending");
}

TEST_F(CLIWorkingTest, SnoozeChoicesWakeAfterFifteenMinutesAnHourOrADay) {
    importFiles({deployReceipt});
    const std::pair<const char*, std::chrono::seconds> choices[] = {
        {"15m", std::chrono::seconds(900)},
        {"1h", std::chrono::seconds(3600)},
        {"tomorrow", std::chrono::seconds(86400)}};
    const std::string until =
        "SELECT snoozed_until FROM tasks WHERE task_key = '" + std::string(sudoTask) + "';";
    for (const auto& [choice, duration] : choices) {
        SCOPED_TRACE(choice);
        const Timestamp before = currentTimestamp();
        const CLIRun snoozed = run({"snooze", sudoTask, choice});
        const Timestamp after = currentTimestamp();
        ASSERT_EQ(snoozed.exitStatus, 0) << snoozed.errors;
        EXPECT_EQ(statusOf(sudoTask), "snoozed");
        const std::string text = rows(until).at(0);
        const auto time = parseKestrinISO8601(text);
        ASSERT_TRUE(time) << text;
        EXPECT_GE(*time, before + duration);
        EXPECT_LE(*time, after + duration);
        // Shown in local time (UTC here) to the minute.
        EXPECT_EQ(snoozed.output,
                  "已暂缓到 " + text.substr(0, 10) + " " + text.substr(11, 5) + "\n");
    }
    EXPECT_EQ(run({"count"}).output, "2\n");  // a snoozed task is still open
    ASSERT_EQ(run({"status", sudoTask, "pending"}).exitStatus, 0);
    EXPECT_EQ(rows(until), Rows{"<null>"});  // another status clears the wake-up time
}

// Two copies of one database, worked through the CLI and through the store calls the app's model
// makes (a tick, ready_to_resume when the message is copied, the close and cancel buttons).
TEST_F(CLIWorkingTest, TicksResumeCloseAndCancelWriteTheSameRowsAsTheAppModel) {
    importFiles({deployReceipt});
    const std::filesystem::path appHome = scratch / "app-home";
    std::filesystem::create_directories(appHome);
    exec("VACUUM INTO '" + (appHome / "tasks.sqlite").string() + "';");
    const std::string notes = "已安装";
    const Timestamp start = currentTimestamp();
    std::string printedMessage;
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"step", sudoTask, "step-1"},
          {"resume", sudoTask, "--notes", notes},
          {"close", sudoTask},
          {"step", approveTask, "step-1"},
          {"step", approveTask, "step-1", "--undo"},
          {"step", approveTask, "step-1"},
          {"cancel", approveTask}}) {
        const CLIRun worked = run(command);
        ASSERT_EQ(worked.exitStatus, 0) << command[0] << ": " << worked.errors;
        if (command[0] == "resume") printedMessage = worked.output;
    }
    std::string copiedMessage;
    {
        auto opened = SQLiteTaskStore::open(appHome / "tasks.sqlite");
        ASSERT_TRUE(opened) << opened.error().description();
        SQLiteTaskStore& store = **opened;
        ASSERT_TRUE(store.setStepCompleted(sudoTask, "step-1", true));
        auto ticked = store.task(sudoTask);
        ASSERT_TRUE(ticked);
        copiedMessage = ResumeMessageBuilder().build(*ticked, notes);
        ASSERT_TRUE(store.setStatus(sudoTask, TaskStatus::readyToResume, std::nullopt));
        ASSERT_TRUE(store.setStatus(sudoTask, TaskStatus::completed, std::nullopt));
        for (const bool done : {true, false, true})
            ASSERT_TRUE(store.setStepCompleted(approveTask, "step-1", done));
        ASSERT_TRUE(store.setStatus(approveTask, TaskStatus::cancelled, std::nullopt));
    }
    const Timestamp end = currentTimestamp();
    for (const char* query :
         {"SELECT * FROM tasks ORDER BY task_key;", "SELECT * FROM receipts ORDER BY receipt_id;",
          "SELECT task_key, step_id FROM step_progress ORDER BY 1, 2;"})
        EXPECT_EQ(rows(query), rows(query, appHome)) << query;
    EXPECT_EQ(rows("SELECT status FROM tasks ORDER BY task_key;"),
              (Rows{"cancelled", "completed"}));
    for (const auto& directory : {home, appHome}) {  // tick times differ only by when made
        for (const std::string& completedAt :
             rows("SELECT completed_at FROM step_progress;", directory)) {
            const auto time = parseKestrinISO8601(completedAt);
            ASSERT_TRUE(time) << completedAt;
            EXPECT_GE(*time, start);
            EXPECT_LE(*time, end);
        }
    }
    EXPECT_EQ(printedMessage, copiedMessage + "\n");
}

}  // namespace
