// import and scan through the real binary: one line per file, accepted on
// stdout, refused on stderr, and the exit status. The lines after the file's
// name are the importer's, checked with the core.

#include "CLIFixture.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {

class CLIDataTest : public CLIFixture {};

// What comes before "：" on each line: the file each line is about.
std::vector<std::string> namedFiles(const std::string& text) {
    std::vector<std::string> names;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        names.push_back(text.substr(start, text.find("：", start) - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return names;
}

// Run one after another on one store, so the second import of a file is a duplicate.
TEST_F(CLIDataTest, ImportReportsEveryFileOnTheStreamOfItsOutcome) {
    using Names = std::vector<std::string>;
    const std::string deploy = testData("intake/deploy-v1.json").string();
    struct Case {
        std::vector<std::string> arguments;
        std::string input;
        int status;
        Names accepted;
        Names refused;
    };
    const Case cases[] = {
        {{"import", deploy}, "", 0, {"deploy-v1.json"}, {}},
        {{"import", deploy, testData("intake/latin1.json").string(),
          (scratch / "missing.json").string(), testData("cli/claude-web.json").string()},
         "",
         1,
         {"deploy-v1.json", "claude-web.json"},
         {"latin1.json", "missing.json"}},
        {{"import", "-"}, readFile(deploy), 0, {"标准输入"}, {}},
        {{"import", "-"}, "{}", 1, {}, {"标准输入"}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(::testing::PrintToString(test.arguments));
        const CLIRun imported = run(test.arguments, test.input);
        EXPECT_EQ(imported.exitStatus, test.status);
        EXPECT_EQ(namedFiles(imported.output), test.accepted) << imported.output;
        EXPECT_EQ(namedFiles(imported.errors), test.refused) << imported.errors;
    }
    EXPECT_EQ(rows("SELECT count(*) FROM tasks;"), (std::vector<std::string>{"3"}));
}

TEST_F(CLIDataTest, ScanTakesTheInboxOnceWithTheAppsLines) {
    const CLIRun empty = run({"scan"});
    EXPECT_EQ(empty.exitStatus, 0);
    EXPECT_EQ(empty.output, "当前没有新的 JSON 回执。\n");

    writeFile(home / "inbox" / "b.json", readFile(testData("intake/latin1.json")));
    writeFile(home / "inbox" / "a.json", readFile(testData("intake/deploy-v1.json")));
    const CLIRun scanned = run({"scan"});
    EXPECT_EQ(scanned.exitStatus, 1);
    EXPECT_EQ(namedFiles(scanned.output), std::vector<std::string>{"a.json"});
    EXPECT_EQ(scanned.errors.rfind("b.json：已拒收，", 0), 0u) << scanned.errors;
    EXPECT_TRUE(std::filesystem::exists(home / "processed" / "a.json"));
    EXPECT_TRUE(std::filesystem::exists(home / "rejected" / "b.json"));
    EXPECT_FALSE(readFile(home / "rejected" / "b.reason.txt").empty());
    EXPECT_EQ(run({"scan"}).output, empty.output);
}

}  // namespace
