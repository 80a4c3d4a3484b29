#include <gtest/gtest.h>

#include "core/handback/SessionResumeCommand.h"
#include "core/support/ShellWord.h"

using namespace kestrin;

// Only an identifier in its agent's exact format reaches the command line.
TEST(SessionResumeCommand, OnlyAnIdentifierInItsAgentsExactFormatIsOffered) {
    const std::string uuid = "7c1e4b2a-93d8-4f61-b0a5-2e8d6c9f4a17";
    const std::string upper = "7C1E4B2A-93D8-4F61-B0A5-2E8D6C9F4A17";
    const std::string session = "ses_0a1b2c3d4e5fABCDEFGHijklmn";
    using Text = std::optional<std::string>;
    const struct {
        AgentKind agent;
        Text taskId;
        Text locator;
        std::string path;
        std::string expected;  // the shell line, or "" when nothing is offered
    } cases[] = {
        {AgentKind::claudeCode, " " + uuid + "\n", {}, "/p", "cd /p && claude --resume " + uuid},
        {AgentKind::claudeCode, upper, {}, "/p", ""},
        {AgentKind::claudeCode, uuid + " --dangerously-skip-permissions", {}, "/p", ""},
        {AgentKind::claudeCode, {}, uuid, "/p", ""},
        {AgentKind::openCode, session, {}, "/p", "cd /p && opencode --session " + session},
        {AgentKind::openCode, session.substr(0, 29), {}, "/p", ""},
        {AgentKind::openCode, "ses_$(rm -rf ~)aaaaaaaaaaaaaaa", {}, "/p", ""},
        {AgentKind::codex, {}, "codex://threads/" + uuid, "/p", "cd /p && codex resume " + uuid},
        {AgentKind::codex, upper, {}, "/p", "cd /p && codex resume " + uuid},
        {AgentKind::other, uuid, {}, "/p", ""},
        {AgentKind::claudeCode, uuid, {}, "p", ""},
        {AgentKind::claudeCode, uuid, {}, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected + " " + c.taskId.value_or("") + " " + c.locator.value_or(""));
        TaskRecord task;
        task.source = {c.agent, "任务", c.taskId, c.locator};
        task.project = {"p", c.path};
        const auto command = SessionResumeCommand::forTask(task);
        EXPECT_EQ(command ? command->shellLine() : "", c.expected);
    }
    const SessionResumeCommand command{{"claude", "--resume", "abc"}, "/Users/x/it's $HOME; rm"};
    EXPECT_EQ(command.shellLine(), "cd '/Users/x/it'\\''s $HOME; rm' && claude --resume abc");
    EXPECT_EQ(ShellWord::quoted(""), "''");
}
