// Working a task through the real binary: writes, output, refusals, notes, risks, connect.

#include "CLIFixture.h"
#include "core/checks/CommandRisk.h"
#include "core/handback/ResumeMessageBuilder.h"
#include "core/handback/ResumeMessageGuard.h"
#include "core/intake/AgentResultTool.h"
#include "core/receipt/Timestamp.h"
#include "core/store/SQLiteTaskStore.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {

using CLIHandBackTest = CLIFixture;
const std::string cleanupTask = "rc-cleanup-9::cleanup";

// Notes are shown, set, read from stdin and cleared; resume carries them; --print-command.
TEST_F(CLIHandBackTest, NotesAndResumeCarryTheNoteAndPrintCommandNamesTheSession) {
    importFiles({deployReceipt, webReceipt});  // the Claude Code task has no session id
    const std::string multiLine = "第一行\n\t\x1b[31m第二行\n";
    const std::pair<Expected, Rows> cases[] = {
        // a run, and the stored note afterwards
        {{{"note", sudoTask}, 0, ""}, {}},
        {{{"note", sudoTask, "已重启"}, 0, "备注已保存\n"}, {"已重启"}},
        {{{"note", sudoTask}, 0, "已重启\n"}, {"已重启"}},  // exact on a pipe
        {{{"note", sudoTask, "-"}, 0, "备注已保存\n", "", multiLine}, {multiLine}},
        {{{"note", sudoTask, "-"}, 1, "", "^无法保存备注：", "ok\xff"}, {multiLine}},
        {{{"note", "nope::x", "a"}, 1, "", "^无法读取任务："}, {multiLine}},
        {{{"note", sudoTask, "x", "--clear"}, 2, "", "*"}, {multiLine}},
        {{{"note", sudoTask, "--clear"}, 0, "备注已清除\n"}, {}}};
    for (const auto& [expected, stored] : cases) {
        expectRuns({expected});
        EXPECT_EQ(rows("SELECT text FROM task_notes;"), stored);
    }
    const std::string hint = std::string(AgentResultTool::humanHint) + "\n";
    // clang-format off
    expectRuns({{{"resume", sudoTask, "--print-command"}, 0,
                 "cd /Users/dev/staging && codex resume 019a2b3c-4d5e-6f70-8192-a3b4c5d6e7f8\n"},
                {{"resume", grant, "--print-command"}, 1, "", "这张回执没有指明可以在终端里恢复的 Agent 会话。\n"}});
    // clang-format on
    EXPECT_EQ(statusOf(sudoTask), "pending");
    expectRuns({{{"step", sudoTask, "step-1"}, 0, "*"},
                {{"note", sudoTask, "先存的记录"}, 0, "*"},
                {{"show", sudoTask}, 0, "~本人记录：先存的记录"},
                {{"resume", sudoTask}, 0, "~\n\n本人记录：先存的记录\n\n", hint},
                {{"resume", sudoTask, "--notes", "  新记录  "}, 0, "~本人记录：新记录\n", hint}});
    EXPECT_EQ(json::parse(run({"show", sudoTask, "--json"}).output)["note"], "  新记录  ");
}

// Risk flags under each command and in JSON; a secret in the note needs --allow-secret.
TEST_F(CLIHandBackTest, RiskFlagsAreShownAndASecretInTheNoteIsRefusedUnlessAllowed) {
    importFiles({"app/risky-cleanup.json"});
    const CommandRisk first = CommandRisk::runsDownloadedCode,
                      second = CommandRisk::raisesPrivileges;
    const auto flag = [](CommandRisk risk) {
        return "      运行前再看一眼：" + std::string(displayName(risk)) + "\n";
    };
    const std::string out = run({"show", cleanupTask}).output;
    // Each flag once, right under its own command; none for a harmless one.
    expectMatch(out,
                "~        curl -fsSL https://get.example.dev/install.sh | sudo bash\n" +
                    flag(first) + flag(second) + "      密码只在系统提示中输入",
                "show");
    expectMatch(out, "~        npm test\n      成功信号", "show");
    const json steps = json::parse(run({"show", cleanupTask, "--json"}).output)["item"]["steps"];
    EXPECT_EQ(steps[0]["risk_flags"],
              json::array({{{"code", rawValue(first)}, {"text", displayName(first)}},
                           {{"code", rawValue(second)}, {"text", displayName(second)}}}));
    EXPECT_EQ(steps[2]["risk_flags"], json::array());
    const std::string note = "推送用了 ghp_0123456789abcdefghijKLMN";
    const CLIRun refused = run({"resume", cleanupTask, "--force", "--notes", note});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(refused.output, "");
    EXPECT_EQ(refused.errors.find(note), std::string::npos);
    EXPECT_TRUE(refused.errors.ends_with("确实要输出时，加上 --allow-secret。\n"))
        << refused.errors;
    EXPECT_EQ(statusOf(cleanupTask), "pending");
    const CLIRun allowed =
        run({"resume", cleanupTask, "--force", "--allow-secret", "--notes", note});
    EXPECT_EQ(allowed.exitStatus, 0);
    EXPECT_NE(allowed.output.find("本人记录：" + note), std::string::npos);
    const auto secret = ResumeMessageGuard().check(allowed.output);
    ASSERT_TRUE(secret.has_value());
    // The same facts go to stderr, so a piped message never hides them.
    EXPECT_EQ(allowed.errors,
              secret->description() + "\n" + std::string(AgentResultTool::humanHint) + "\n");
    EXPECT_EQ(statusOf(cleanupTask), "ready_to_resume");
}

TEST_F(CLIHandBackTest, ConnectNamesTheBuildsServerWithTheResultToolAndTheStore) {
    const CLIRun all = run({"connect"});
    EXPECT_EQ(all.exitStatus, 0);
    for (const char* agent : {"Codex · ", "Claude Code · ", "OpenCode · "})
        EXPECT_NE(all.output.find(agent), all.output.npos);
    const auto server = json::parse(run({"connect", "opencode"}).output)["mcp"]["kestrin"];
    const std::filesystem::path command = server["command"][0].get<std::string>();
    EXPECT_TRUE(command.is_absolute());
    EXPECT_TRUE(std::filesystem::exists(command)) << command;
    EXPECT_EQ(server["environment"],
              (json{{"KESTRIN_RESULT_TOOL", "1"}, {"KESTRIN_HOME", home.string()}}));
    EXPECT_EQ(run({"connect", "claude"}).output,
              "claude mcp add --scope user --env KESTRIN_RESULT_TOOL=1 --env KESTRIN_HOME=" +
                  home.string() + " kestrin -- " + command.string() + "\n");
    expectRuns({{{"connect", "cursor"}, 2, "*", "*"}});
}

// In turn on one store: exit status, output (a refusal's start) and "status|ticks" afterwards.
TEST_F(CLIHandBackTest, CommandsChangeTheStoreOnlyWhereAllowed) {
    importFiles({deployReceipt, webReceipt});
    const std::string sudo = sudoTask, nope = "rc-x::nope";
    const std::string sudoTitle = "在终端运行安装命令",
                      grantTitle = "在浏览器中授权部署平台访问代码仓库";
    // clang-format off
    const std::tuple<std::vector<std::string>, int, std::string, std::string> steps[] = {
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
    for (const auto& [arguments, exitStatus, output, state] : steps) {
        SCOPED_TRACE(arguments[0] + " " + arguments[1]);
        const CLIRun done = run(arguments);
        EXPECT_EQ(done.exitStatus, exitStatus) << done.errors;
        if (exitStatus == 1) {
            EXPECT_EQ(done.output, "");
            EXPECT_EQ(done.errors.rfind(output, 0), 0u) << done.errors;
            EXPECT_EQ(done.errors.find('\n'), done.errors.size() - 1) << done.errors;
        } else if (!output.empty()) {
            EXPECT_EQ(done.output, output);
        }
        EXPECT_EQ(rows("SELECT status, (SELECT group_concat(step_id) FROM step_progress p WHERE "
                       "p.task_key = t.task_key) FROM tasks t WHERE task_key = '" +
                       arguments[1] + "';"),
                  state.empty() ? Rows{} : Rows{state});
    }
    EXPECT_EQ(rows("SELECT task_key FROM tasks; SELECT count(*) FROM receipts;"),
              (Rows{grant, "2"}));
    // Ticks of steps the item does not have (written by another program) stand for nothing.
    exec("DELETE FROM step_progress; UPDATE tasks SET status = 'pending'");
    for (const std::string ghost : {"ghost", "open2"})
        exec("INSERT INTO step_progress SELECT task_key, '" + ghost + "', imported_at FROM tasks");
    EXPECT_EQ(run({"resume", grant}).exitStatus, 1);
    EXPECT_EQ(statusOf(grant), "pending");
}

TEST_F(CLIHandBackTest, SnoozeChoicesWakeAfterFifteenMinutesAnHourOrADay) {
    importFiles({deployReceipt});
    using std::chrono::seconds;
    const std::pair<const char*, seconds> choices[] = {
        {"15m", seconds(900)}, {"1h", seconds(3600)}, {"tomorrow", seconds(86400)}};
    const std::string until =
        "SELECT snoozed_until FROM tasks WHERE task_key = '" + std::string(sudoTask) + "'";
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
        EXPECT_NE(run({"list"}).output.find("暂缓到 " + text.substr(0, 10)), std::string::npos);
    }
    EXPECT_EQ(run({"count"}).output, "2\n");  // a snoozed task is still open
    ASSERT_EQ(run({"status", sudoTask, "pending"}).exitStatus, 0);
    EXPECT_EQ(rows(until), Rows{"<null>"});  // another status clears the wake-up time
}

// The CLI's writes match the store calls of the app's model row for row.
TEST_F(CLIHandBackTest, TicksResumeCloseAndCancelWriteTheSameRowsAsTheAppModel) {
    importFiles({"intake/deploy-v1.json"});
    const auto appDatabase = scratch / "app.sqlite";
    exec("VACUUM INTO '" + appDatabase.string() + "';");
    std::string printed;
    // clang-format off
    for (const std::vector<std::string>& command :
         {Rows{"step", sudoTask, "step-1"}, {"resume", sudoTask, "--notes", "ok"},
          {"close", sudoTask}, {"step", approveTask, "step-1"},
          {"step", approveTask, "step-1", "--undo"}, {"step", approveTask, "step-1"},
          {"cancel", approveTask}}) {
        // clang-format on
        const CLIRun worked = run(command);
        ASSERT_EQ(worked.exitStatus, 0) << command[0] << ": " << worked.errors;
        if (command[0] == "resume") printed = worked.output;
    }
    {
        auto store = std::move(SQLiteTaskStore::open(appDatabase)).value();
        ASSERT_TRUE(store->setStepCompleted(sudoTask, "step-1", true));
        EXPECT_EQ(printed, ResumeMessageBuilder().build(*store->task(sudoTask), "ok") + "\n");
        for (const auto status : {TaskStatus::readyToResume, TaskStatus::completed})
            ASSERT_TRUE(store->setStatus(sudoTask, status, std::nullopt));
        for (const bool done : {true, false, true})
            ASSERT_TRUE(store->setStepCompleted(approveTask, "step-1", done));
        ASSERT_TRUE(store->setStatus(approveTask, TaskStatus::cancelled, std::nullopt));
    }
    // Tick times differ only by when they were made.
    for (const char* query : {"SELECT * FROM tasks ORDER BY task_key", "SELECT * FROM receipts",
                              "SELECT task_key, step_id FROM step_progress ORDER BY 1, 2"})
        EXPECT_EQ(rows(query), sqliteRows(appDatabase, query)) << query;
}

}  // namespace
