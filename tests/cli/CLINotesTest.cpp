// The road back through the real binary: notes kept in the store and used by
// resume, the command that continues the agent's session, and connect.

#include <nlohmann/json.hpp>

#include "CLIFixture.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {

class CLINotesTest : public CLIFixture {
protected:
    void SetUp() override {
        CLIFixture::SetUp();
        importFile(testData("intake/deploy-v1.json"));
    }

    std::vector<std::string> storedNote() const {
        return rows(std::string("SELECT text FROM task_notes WHERE task_key = '") + sudoTask +
                    "';");
    }
};

TEST_F(CLINotesTest, NoteShowsSetsReadsStandardInputAndClears) {
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        std::string input;
        int exitStatus;
        std::string output;
        std::string errors;
        std::vector<std::string> stored;  // the note row afterwards
    };
    const std::string multiLine = "第一行\n\t\x1b[31m第二行\n";
    const std::vector<Case> cases{
        {"nothing yet", {"note", sudoTask}, "", 0, "", "", {}},
        {"set", {"note", sudoTask, "已重启"}, "", 0, "备注已保存\n", "", {"已重启"}},
        {"show, exact on a pipe", {"note", sudoTask}, "", 0, "已重启\n", "", {"已重启"}},
        {"from standard input",
         {"note", sudoTask, "-"},
         multiLine,
         0,
         "备注已保存\n",
         "",
         {multiLine}},
        {"invalid UTF-8 refused",
         {"note", sudoTask, "-"},
         "ok\xff",
         1,
         "",
         "无法保存备注：无法编码任务数据：备注不是 UTF-8 文本。\n",
         {multiLine}},
        {"unknown task",
         {"note", "nope::x", "a"},
         "",
         1,
         "",
         "无法读取任务：找不到任务：nope::x\n",
         {multiLine}},
        {"clear", {"note", sudoTask, "--clear"}, "", 0, "备注已清除\n", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CLIRun result = run(c.arguments, c.input);
        EXPECT_EQ(result.exitStatus, c.exitStatus);
        EXPECT_EQ(result.output, c.output);
        EXPECT_EQ(result.errors, c.errors);
        EXPECT_EQ(storedNote(), c.stored);
    }
    EXPECT_EQ(run({"note", sudoTask, "x", "--clear"}).exitStatus, 2);
}

TEST_F(CLINotesTest, ResumeCarriesTheStoredNoteAndShowPrintsIt) {
    ASSERT_EQ(run({"step", sudoTask, "step-1"}).exitStatus, 0);
    ASSERT_EQ(run({"note", sudoTask, "先存的记录"}).exitStatus, 0);
    EXPECT_NE(run({"show", sudoTask}).output.find("本人记录：先存的记录"), std::string::npos);
    EXPECT_EQ(nlohmann::json::parse(run({"show", sudoTask, "--json"}).output)["note"],
              "先存的记录");

    const CLIRun stored = run({"resume", sudoTask});
    EXPECT_NE(stored.output.find("\n\n本人记录：先存的记录\n\n"), std::string::npos);
    EXPECT_EQ(stored.errors,
              "若 Agent 的 kestrin-mcp 启用了 KESTRIN_RESULT_TOOL=1，交回后 Agent 也能用 "
              "get_intervention_result 自己读取这份结果。\n");

    // --notes replaces the stored note before the message is built, and stays.
    const CLIRun given = run({"resume", sudoTask, "--notes", "  新记录  "});
    EXPECT_NE(given.output.find("本人记录：新记录\n"), std::string::npos);
    EXPECT_EQ(given.output.find("先存的记录"), std::string::npos);
    EXPECT_EQ(storedNote(), std::vector<std::string>{"  新记录  "});
}

TEST_F(CLINotesTest, PrintCommandNamesOnlyASessionTheAgentCanResume) {
    const CLIRun codex = run({"resume", sudoTask, "--print-command"});
    EXPECT_EQ(codex.exitStatus, 0);
    EXPECT_EQ(codex.output,
              "cd /Users/dev/staging && codex resume 019a2b3c-4d5e-6f70-8192-a3b4c5d6e7f8\n");
    EXPECT_EQ(rows(std::string("SELECT status FROM tasks WHERE task_key = '") + sudoTask + "';"),
              std::vector<std::string>{"pending"});

    importFile(testData("cli/claude-web.json"));  // a Claude Code task without a session id
    const CLIRun none = run({"resume", "rc-web-7::grant", "--print-command"});
    EXPECT_EQ(none.exitStatus, 1);
    EXPECT_EQ(none.errors, "这张回执没有指明可以在终端里恢复的 Agent 会话。\n");
}

TEST_F(CLINotesTest, ConnectNamesTheBuildsServerWithTheResultToolAndTheStore) {
    const CLIRun all = run({"connect"});
    EXPECT_EQ(all.exitStatus, 0);
    for (const char* agent : {"Codex · ", "Claude Code · ", "OpenCode · "}) {
        EXPECT_NE(all.output.find(agent), std::string::npos) << agent;
    }
    const auto config = nlohmann::json::parse(run({"connect", "opencode"}).output);
    const auto& server = config["mcp"]["kestrin"];
    const std::filesystem::path command = server["command"][0].get<std::string>();
    EXPECT_TRUE(command.is_absolute());
    EXPECT_TRUE(std::filesystem::exists(command)) << command;
    EXPECT_EQ(server["environment"],
              (nlohmann::json{{"KESTRIN_RESULT_TOOL", "1"}, {"KESTRIN_HOME", home.string()}}));
    const CLIRun claude = run({"connect", "claude"});
    EXPECT_EQ(claude.output,
              "claude mcp add --scope user --env KESTRIN_RESULT_TOOL=1 --env "
              "KESTRIN_HOME=" +
                  home.string() + " kestrin -- " + command.string() + "\n");
    EXPECT_EQ(run({"connect", "cursor"}).exitStatus, 2);
}

}  // namespace
