// import and scan through the real binary: the app's lines, accepted on
// stdout, refused on stderr, and the exit status.

#include "CLIFixture.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {

class CLIDataTest : public CLIFixture {};

TEST_F(CLIDataTest, ImportReportsEveryFileWithTheImportersMessage) {
    const CLIRun first = run({"import", testData("intake/deploy-v1.json").string()});
    EXPECT_EQ(first.exitStatus, 0);
    EXPECT_EQ(first.output, "deploy-v1.json：已导入 2 个人工介入事项。\n");
    EXPECT_EQ(first.errors, "");

    const std::string missing = (scratch / "missing.json").string();
    const CLIRun mixed = run({"import", testData("intake/deploy-v1.json").string(),
                              testData("intake/latin1.json").string(), missing,
                              testData("cli/claude-web.json").string()});
    EXPECT_EQ(mixed.exitStatus, 1);
    EXPECT_EQ(mixed.output,
              "deploy-v1.json：这张回执已经导入，没有创建重复事项。\n"
              "claude-web.json：已导入 1 个人工介入事项。\n");
    EXPECT_EQ(mixed.errors,
              "latin1.json：回执必须是 UTF-8 JSON 文本。\n"
              "missing.json：无法读取文件 " +
                  missing + "：No such file or directory\n");
    EXPECT_EQ(rows("SELECT count(*) FROM tasks;"), (std::vector<std::string>{"3"}));
}

TEST_F(CLIDataTest, ImportReadsStandardInputForADash) {
    const CLIRun imported = run({"import", "-"}, readFile(testData("intake/deploy-v1.json")));
    EXPECT_EQ(imported.exitStatus, 0);
    EXPECT_EQ(imported.output, "标准输入：已导入 2 个人工介入事项。\n");

    const CLIRun refused = run({"import", "-"}, "{}");
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(refused.output, "");
    EXPECT_EQ(refused.errors.rfind("标准输入：回执 JSON 无法解析：", 0), 0u) << refused.errors;
}

TEST_F(CLIDataTest, ScanTakesTheInboxOnceWithTheAppsLines) {
    const CLIRun empty = run({"scan"});
    EXPECT_EQ(empty.exitStatus, 0);
    EXPECT_EQ(empty.output, "当前没有新的 JSON 回执。\n");

    writeFile(home / "inbox" / "b.json", readFile(testData("intake/latin1.json")));
    writeFile(home / "inbox" / "a.json", readFile(testData("intake/deploy-v1.json")));
    const CLIRun scanned = run({"scan"});
    EXPECT_EQ(scanned.exitStatus, 1);
    EXPECT_EQ(scanned.output, "a.json：已导入 2 个人工介入事项。\n");
    EXPECT_EQ(scanned.errors, "b.json：已拒收，回执必须是 UTF-8 JSON 文本。\n");
    EXPECT_TRUE(std::filesystem::exists(home / "processed" / "a.json"));
    EXPECT_TRUE(std::filesystem::exists(home / "rejected" / "b.json"));
    EXPECT_EQ(readFile(home / "rejected" / "b.reason.txt"), "回执必须是 UTF-8 JSON 文本。");
    EXPECT_EQ(run({"scan"}).output, "当前没有新的 JSON 回执。\n");
}

}  // namespace
