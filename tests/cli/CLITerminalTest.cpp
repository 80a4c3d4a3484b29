// velmora-cli on a real (pseudo-)terminal: colours only there and never with
// NO_COLOR, the terminal's width, and receipt texts that cannot steer it.

#include <nlohmann/json.hpp>

#include "CLIFixture.h"

using namespace kestrin;
using namespace kestrin::testing;
using nlohmann::json;

namespace {

class CLITerminalTest : public CLIFixture {
protected:
    void SetUp() override {
        CLIFixture::SetUp();
        importFile(testData("intake/deploy-v1.json"));
    }

    // Imports a copy of the deploy receipt whose first item title is `title`.
    void importWithTitle(const std::string& title) {
        json receipt = json::parse(readFile(testData("intake/deploy-v1.json")));
        receipt["receipt_id"] = "rc-escape";
        receipt["items"][0]["title"] = title;
        const CLIRun imported = run({"import", "-"}, receipt.dump());
        ASSERT_EQ(imported.exitStatus, 0) << imported.errors;
    }
};

TEST_F(CLITerminalTest, StatusColoursOnlyOnATerminalAndNeverWithNoColor) {
    const CLIRun coloured = runOnTerminal({"list"});
    EXPECT_EQ(coloured.exitStatus, 0);
    EXPECT_NE(coloured.output.find("\x1b[33m待处理      \x1b[0m"), std::string::npos)
        << coloured.output;

    EXPECT_EQ(runOnTerminal({"list"}, {}, 80, {{"NO_COLOR", "1"}}).output.find('\x1b'),
              std::string::npos);
    EXPECT_EQ(runOnTerminal({"list"}, {}, 80, {{"TERM", "dumb"}}).output.find('\x1b'),
              std::string::npos);
    EXPECT_EQ(run({"list"}).output.find('\x1b'), std::string::npos);
    // An empty NO_COLOR does not count.
    EXPECT_NE(runOnTerminal({"list"}, {}, 80, {{"NO_COLOR", ""}}).output.find('\x1b'),
              std::string::npos);
}

TEST_F(CLITerminalTest, RowsFitTheTerminalsOwnWidth) {
    const CLIRun listed = runOnTerminal({"list"}, {}, 36, {{"NO_COLOR", "1"}});
    EXPECT_EQ(listed.output,
              "待处理        在终端运行安…   0/1 步\n"
              "  rc-deploy-2026::item-sudo · stagi…\n"
              "待处理        批准发布        0/1 步\n"
              "  rc-deploy-2026::item-approve · st…\n");
}

TEST_F(CLITerminalTest, ReceiptTextsCannotSendControlSequencesToTheTerminal) {
    importWithTitle("标题\x1b]0;pwned\x07\x1b[2J完");
    const CLIRun listed = runOnTerminal({"list"}, {}, 80, {{"NO_COLOR", "1"}});
    EXPECT_EQ(listed.output.find('\x1b'), std::string::npos);
    EXPECT_EQ(listed.output.find('\x07'), std::string::npos);
    EXPECT_NE(listed.output.find("标题\xEF\xBF\xBD]0;pwned\xEF\xBF\xBD\xEF\xBF\xBD[2J完"),
              std::string::npos);
    EXPECT_EQ(runOnTerminal({"show", "rc-escape::item-sudo"}, {}, 80, {{"NO_COLOR", "1"}})
                  .output.find('\x1b'),
              std::string::npos);

    // Piped, the resume message is exact: it is meant to be pasted.
    ASSERT_EQ(run({"step", "rc-escape::item-sudo", "step-1"}).exitStatus, 0);
    EXPECT_NE(run({"resume", "rc-escape::item-sudo"}).output.find("人工事项：标题\x1b]0;pwned\x07"),
              std::string::npos);
    const CLIRun onTerminal =
        runOnTerminal({"resume", "rc-escape::item-sudo"}, {}, 80, {{"NO_COLOR", "1"}});
    EXPECT_EQ(onTerminal.output.find('\x1b'), std::string::npos);
    EXPECT_NE(onTerminal.output.find("人工事项：标题\xEF\xBF\xBD]0;pwned"), std::string::npos);
}

}  // namespace
