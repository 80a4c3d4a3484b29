// The safety nets of the terminal program through the real binary: risk
// flags under a step's command in show and its JSON, and a resume message
// that looks like it holds a secret never reaching standard output unasked.

#include <nlohmann/json.hpp>

#include "CLIFixture.h"
#include "core/checks/CommandRisk.h"
#include "core/handback/ResumeMessageGuard.h"
#include "core/intake/AgentResultTool.h"

using namespace kestrin;
using namespace kestrin::testing;
using nlohmann::json;

namespace {

const char* const cleanupTask = "rc-cleanup-9::cleanup";

class CLISafetyTest : public CLIFixture {
protected:
    void SetUp() override {
        CLIFixture::SetUp();
        importFile(testData("app/risky-cleanup.json"));
    }

    std::string statusOf(const std::string& taskKey) const {
        return rows("SELECT status FROM tasks WHERE task_key = '" + taskKey + "';").front();
    }
};

std::string flagLine(CommandRisk risk) {
    return "      运行前再看一眼：" + std::string(displayName(risk)) + "\n";
}

}  // namespace

TEST_F(CLISafetyTest, ShowPrintsEachStepsFlagsUnderItsCommandAndInJSON) {
    const CLIRun shown = run({"show", cleanupTask});
    ASSERT_EQ(shown.exitStatus, 0) << shown.errors;
    const std::string& out = shown.output;
    // Each flag once, right under its own command; none for a harmless one.
    EXPECT_NE(out.find("        curl -fsSL https://get.example.dev/install.sh | sudo bash\n" +
                       flagLine(CommandRisk::runsDownloadedCode) +
                       flagLine(CommandRisk::raisesPrivileges) + "      密码只在系统提示中输入"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("origin main\n" + flagLine(CommandRisk::deletesOutsideProject) +
                       flagLine(CommandRisk::forcePushes) + "      成功信号"),
              std::string::npos);
    EXPECT_NE(out.find("        npm test\n      成功信号"), std::string::npos);

    const CLIRun asJSON = run({"show", cleanupTask, "--json"});
    ASSERT_EQ(asJSON.exitStatus, 0) << asJSON.errors;
    std::vector<std::string> perStep;
    const json document = json::parse(asJSON.output);
    for (const json& step : document.at("item").at("steps")) {
        std::string codes;
        for (const json& flag : step.at("risk_flags")) {
            const auto risk = fromRawValue<CommandRisk>(flag.at("code").get<std::string>());
            ASSERT_TRUE(risk.has_value());
            EXPECT_EQ(flag.at("text"), displayName(*risk));
            codes += flag.at("code").get<std::string>() + " ";
        }
        perStep.push_back(codes);
    }
    EXPECT_EQ(perStep, (std::vector<std::string>{"runs_downloaded_code raises_privileges ",
                                                 "deletes_outside_project force_pushes ", ""}));
}

TEST_F(CLISafetyTest, ResumeWithASecretInTheNoteIsRefusedUnlessAllowed) {
    const std::string notes[] = {"推送用了 ghp_0123456789abcdefghijKLMN", "Bearer abcdefghijklmnopqrst",
                                 "{\"api_key\": \"live-1234\"}"};
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
