// Which receipt sources lead to a resumable session, and what reaches the
// command line: only an identifier in its agent's exact format.

#include <gtest/gtest.h>

#include "core/handback/SessionResumeCommand.h"
#include "core/support/ShellWord.h"

using namespace kestrin;

namespace {

TEST(SessionResumeCommand, OnlyAnIdentifierInItsAgentsExactFormatIsOffered) {
    const std::string uuid = "7c1e4b2a-93d8-4f61-b0a5-2e8d6c9f4a17";
    const std::string session = "ses_0a1b2c3d4e5fABCDEFGHijklmn";
    struct Case {
        const char* name;
        AgentKind agent;
        std::optional<std::string> taskId;
        std::optional<std::string> locator;
        std::string path;
        std::vector<std::string> expected;  // empty: nothing offered
    };
    const std::vector<Case> cases{
        {"claude session",
         AgentKind::claudeCode,
         " " + uuid + "\n",
         {},
         "/p",
         {"claude", "--resume", uuid}},
        {"claude upper case",
         AgentKind::claudeCode,
         "7C1E4B2A-93D8-4F61-B0A5-2E8D6C9F4A17",
         {},
         "/p",
         {}},
        {"claude with an option",
         AgentKind::claudeCode,
         uuid + " --dangerously-skip-permissions",
         {},
         "/p",
         {}},
        {"claude in the locator only", AgentKind::claudeCode, {}, uuid, "/p", {}},
        {"opencode session",
         AgentKind::openCode,
         session,
         {},
         "/p",
         {"opencode", "--session", session}},
        {"opencode too short", AgentKind::openCode, session.substr(0, 29), {}, "/p", {}},
        {"opencode with a shell word",
         AgentKind::openCode,
         "ses_$(rm -rf ~)aaaaaaaaaaaaaaa",
         {},
         "/p",
         {}},
        {"codex thread from the locator",
         AgentKind::codex,
         {},
         "codex://threads/" + uuid,
         "/p",
         {"codex", "resume", uuid}},
        {"codex upper-case identifier",
         AgentKind::codex,
         "7C1E4B2A-93D8-4F61-B0A5-2E8D6C9F4A17",
         {},
         "/p",
         {"codex", "resume", uuid}},
        {"other agent", AgentKind::other, uuid, {}, "/p", {}},
        {"relative project path", AgentKind::claudeCode, uuid, {}, "p", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TaskRecord task;
        task.source = {c.agent, "任务", c.taskId, c.locator};
        task.project = {"p", c.path};
        const auto command = SessionResumeCommand::forTask(task);
        if (c.expected.empty()) {
            EXPECT_EQ(command, std::nullopt);
        } else {
            ASSERT_NE(command, std::nullopt);
            EXPECT_EQ(command->arguments, c.expected);
            EXPECT_EQ(command->workingDirectory, c.path);
        }
    }
}

TEST(SessionResumeCommand, TheShellLineQuotesEveryWordThatNeedsIt) {
    const SessionResumeCommand command{{"claude", "--resume", "abc"}, "/Users/x/it's $HOME; rm"};
    EXPECT_EQ(command.shellLine(), "cd '/Users/x/it'\\''s $HOME; rm' && claude --resume abc");
    EXPECT_EQ(ShellWord::quoted(""), "''");
}

}  // namespace
