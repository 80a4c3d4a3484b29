// The road back through the real binary: notes kept in the store and used by resume, a message that
// looks like it holds a secret, risk flags under a step's command, the command that continues the
// agent's session, and connect.

#include <nlohmann/json.hpp>

#include "CLIFixture.h"
#include "core/checks/CommandRisk.h"
#include "core/handback/ResumeMessageGuard.h"
#include "core/intake/AgentResultTool.h"

using namespace kestrin;
using namespace kestrin::testing;
using nlohmann::json;

namespace {

using CLIHandBackTest = CLIFixture;

const std::string cleanupTask = "rc-cleanup-9::cleanup";

TEST_F(CLIHandBackTest, NoteShowsSetsReadsStandardInputAndClears) {
    importFiles({deployReceipt});
    const std::string multiLine = "第一行\n\t\x1b[31m第二行\n";
    // clang-format off
    const std::pair<Expected, Rows> cases[] = {  // a run, and the stored note afterwards
        {{{"note", sudoTask}, 0, ""}, {}},
        {{{"note", sudoTask, "已重启"}, 0, "备注已保存\n"}, {"已重启"}},
        {{{"note", sudoTask}, 0, "已重启\n"}, {"已重启"}},  // exact on a pipe
        {{{"note", sudoTask, "-"}, 0, "备注已保存\n", "", multiLine}, {multiLine}},
        {{{"note", sudoTask, "-"}, 1, "", "无法保存备注：无法编码任务数据：备注不是 UTF-8 文本。\n", "ok\xff"},
         {multiLine}},
        {{{"note", "nope::x", "a"}, 1, "", "无法读取任务：找不到任务：nope::x\n"}, {multiLine}},
        {{{"note", sudoTask, "x", "--clear"}, 2, "", "*"}, {multiLine}},
        {{{"note", sudoTask, "--clear"}, 0, "备注已清除\n"}, {}},
    };
    // clang-format on
    for (const auto& [expected, stored] : cases) {
        expectRuns({expected});
        EXPECT_EQ(rows("SELECT text FROM task_notes;"), stored);
    }
}

TEST_F(CLIHandBackTest, ResumeCarriesTheStoredNoteAndNamesTheResultTool) {
    importFiles({deployReceipt});
    ASSERT_EQ(run({"step", sudoTask, "step-1"}).exitStatus, 0);
    ASSERT_EQ(run({"note", sudoTask, "先存的记录"}).exitStatus, 0);
    EXPECT_NE(run({"show", sudoTask}).output.find("本人记录：先存的记录"), std::string::npos);
    EXPECT_EQ(json::parse(run({"show", sudoTask, "--json"}).output)["note"], "先存的记录");
    const CLIRun stored = run({"resume", sudoTask});
    EXPECT_NE(stored.output.find("\n\n本人记录：先存的记录\n\n"), std::string::npos);
    EXPECT_EQ(stored.errors,
              "若 Agent 的 kestrin-mcp 启用了 KESTRIN_RESULT_TOOL=1，交回后 Agent 也能用 "
              "get_intervention_result 自己读取这份结果。\n");
    // --notes replaces the stored note before the message is built, and stays.
    const CLIRun given = run({"resume", sudoTask, "--notes", "  新记录  "});
    EXPECT_NE(given.output.find("本人记录：新记录\n"), std::string::npos);
    EXPECT_EQ(given.output.find("先存的记录"), std::string::npos);
    EXPECT_EQ(rows("SELECT text FROM task_notes;"), Rows{"  新记录  "});
}

TEST_F(CLIHandBackTest, ResumeWithASecretInTheNoteIsRefusedUnlessAllowed) {
    importFiles({"app/risky-cleanup.json"});
    const std::string notes[] = {"推送用了 ghp_0123456789abcdefghijKLMN",
                                 "Bearer abcdefghijklmnopqrst", "{\"api_key\": \"live-1234\"}"};
    for (const std::string& note : notes) {
        SCOPED_TRACE(note);
        const CLIRun refused = run({"resume", cleanupTask, "--force", "--notes", note});
        EXPECT_EQ(refused.exitStatus, 1);
        EXPECT_EQ(refused.output, "");
        EXPECT_EQ(refused.errors.find(note), std::string::npos);
        EXPECT_NE(refused.errors.find("确实要输出时，加上 --allow-secret。\n"), std::string::npos)
            << refused.errors;
        EXPECT_EQ(statusOf(cleanupTask), "pending");
    }
    const CLIRun allowed =
        run({"resume", cleanupTask, "--force", "--allow-secret", "--notes", notes[0]});
    EXPECT_EQ(allowed.exitStatus, 0);
    EXPECT_NE(allowed.output.find("本人记录：" + notes[0]), std::string::npos);
    const auto secret = ResumeMessageGuard().check(allowed.output);
    ASSERT_TRUE(secret.has_value());
    // The same facts go to stderr, so a piped message never hides them.
    EXPECT_EQ(allowed.errors,
              secret->description() + "\n" + std::string(AgentResultTool::humanHint) + "\n");
    EXPECT_EQ(statusOf(cleanupTask), "ready_to_resume");
}

TEST_F(CLIHandBackTest, ShowPrintsEachStepsRiskFlagsUnderItsCommandAndInJSON) {
    importFiles({"app/risky-cleanup.json"});
    const auto flag = [](CommandRisk risk) {
        return "      运行前再看一眼：" + std::string(displayName(risk)) + "\n";
    };
    const std::string out = run({"show", cleanupTask}).output;
    // Each flag once, right under its own command; none for a harmless one.
    EXPECT_NE(out.find("        curl -fsSL https://get.example.dev/install.sh | sudo bash\n" +
                       flag(CommandRisk::runsDownloadedCode) + flag(CommandRisk::raisesPrivileges) +
                       "      密码只在系统提示中输入"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("origin main\n" + flag(CommandRisk::deletesOutsideProject) +
                       flag(CommandRisk::forcePushes) + "      成功信号"),
              std::string::npos);
    EXPECT_NE(out.find("        npm test\n      成功信号"), std::string::npos);
    Rows perStep;
    const json document = json::parse(run({"show", cleanupTask, "--json"}).output);
    for (const json& step : document["item"]["steps"]) {
        std::string codes;
        for (const json& risk : step.at("risk_flags")) {
            const auto parsed = fromRawValue<CommandRisk>(risk.at("code").get<std::string>());
            ASSERT_TRUE(parsed.has_value());
            EXPECT_EQ(risk.at("text"), displayName(*parsed));
            codes += risk.at("code").get<std::string>() + " ";
        }
        perStep.push_back(codes);
    }
    EXPECT_EQ(perStep, (Rows{"runs_downloaded_code raises_privileges ",
                             "deletes_outside_project force_pushes ", ""}));
}

TEST_F(CLIHandBackTest, PrintCommandNamesOnlyASessionTheAgentCanResume) {
    importFiles({deployReceipt, webReceipt});  // the Claude Code task has no session id
    expectRuns({{{"resume", sudoTask, "--print-command"},
                 0,
                 "cd /Users/dev/staging && codex resume 019a2b3c-4d5e-6f70-8192-a3b4c5d6e7f8\n"},
                {{"resume", "rc-web-7::grant", "--print-command"},
                 1,
                 "",
                 "这张回执没有指明可以在终端里恢复的 Agent 会话。\n"}});
    EXPECT_EQ(statusOf(sudoTask), "pending");
}

TEST_F(CLIHandBackTest, ConnectNamesTheBuildsServerWithTheResultToolAndTheStore) {
    const CLIRun all = run({"connect"});
    EXPECT_EQ(all.exitStatus, 0);
    for (const char* agent : {"Codex · ", "Claude Code · ", "OpenCode · "})
        EXPECT_NE(all.output.find(agent), std::string::npos) << agent;
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

}  // namespace
