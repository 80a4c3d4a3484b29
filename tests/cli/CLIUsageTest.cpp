// The command line itself: help for every command, bad usage (exit 2), paths, and a data directory
// that cannot be opened (exit 1 with the system's text); none of them creates the data directory.
// import and scan: one line per file, accepted on stdout, refused on stderr, and the exit status
// (what follows the file's name is the importer's text, checked with the core).

#include <nlohmann/json.hpp>

#include "CLIFixture.h"
#include "core/intake/BuildInfo.h"
#include "core/intake/ReceiptImporter.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {

using CLIUsageTest = CLIFixture;

TEST_F(CLIUsageTest, HelpVersionAndPathsCreateNothing) {
    for (const char* command : {"list", "count", "show", "history", "paths", "step", "snooze",
                                "status", "resume", "close", "cancel", "delete", "import", "scan",
                                "export", "restore", "backup", "restore-db"}) {
        expectRuns({{{command, "--help"}, 0, "~Usage: velmora-cli " + std::string(command)}});
    }
    expectRuns({{{"--help"}, 0, "~  resume "},
                {{"--version"}, 0, std::string(BuildInfo::productVersion) + "\n"}});

    const std::string root = home.string();
    expectRuns({{{"paths"},
                 0,
                 "当前任务库：隔离测试库\nroot       " + root + "\ninbox      " + root +
                     "/inbox\nprocessed  " + root + "/processed\nrejected   " + root +
                     "/rejected\nbackups    " + root + "/backups\ndatabase   " + root +
                     "/tasks.sqlite\n"}});
    const auto paths = nlohmann::json::parse(run({"paths", "--json"}).output);
    EXPECT_EQ(paths["environment"], "temporary");
    EXPECT_EQ(paths["environment_name"], "隔离测试库");
    EXPECT_EQ(paths["database"], root + "/tasks.sqlite");
    EXPECT_EQ(paths["rejected"], root + "/rejected");
    EXPECT_FALSE(std::filesystem::exists(home));
}

TEST_F(CLIUsageTest, BadUsageExitsWithTwoAndTouchesNothing) {
    const std::string more = "~Run with --help for more information.";
    expectRuns({
        {{}, 2, "", "~Usage: velmora-cli [OPTIONS] [SUBCOMMAND]"},
        {{"frobnicate"}, 2, "", more},
        {{"show"}, 2, "", more},
        {{"list", "--status", "someday"}, 2, "", more},
        {{"list", "--colour"}, 2, "", more},
        {{"snooze", sudoTask, "2h"}, 2, "", more},
        {{"status", sudoTask, "snoozed"}, 2, "", more},
        {{"history", "--limit", "-1"}, 2, "", more},
    });
    EXPECT_FALSE(std::filesystem::exists(home));
}

TEST_F(CLIUsageTest, AnUnusableDataDirectoryIsReportedAsAStartUpFailure) {
    std::ofstream(home) << "not a directory";
    expectRuns({{{"list"}, 1, "", "^无法启动本地任务库：无法创建目录 " + home.string() + "："}});
}

using CLIDataTest = CLIFixture;

// The file each line is about: what comes before its "：".
Rows namedFiles(const std::string& text) {
    Rows names;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        names.push_back(text.substr(start, text.find("：", start) - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return names;
}

// One after another on one store, so the second import of a file is a duplicate.
TEST_F(CLIDataTest, ImportReportsEveryFileOnTheStreamOfItsOutcome) {
    const std::string deploy = testData(deployReceipt).string();
    std::string oversized = readFile(deploy);  // read only up to the limit, never held whole
    oversized.resize(ReceiptImporter::maxReceiptBytes + (1 << 20), ' ');
    struct Case {
        std::vector<std::string> arguments;
        std::string input;
        int status;
        Rows accepted;
        Rows refused;
    };
    const Case cases[] = {
        {{"import", "-"}, oversized, 1, {}, {"标准输入"}},
        {{"import", deploy}, "", 0, {"deploy-v1.json"}, {}},
        {{"import", deploy, testData("intake/latin1.json").string(),
          (scratch / "missing.json").string(), testData(webReceipt).string()},
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
        if (test.input.size() > ReceiptImporter::maxReceiptBytes) {
            EXPECT_EQ(rows("SELECT count(*) FROM receipts;"), Rows{"0"});
        }
    }
    EXPECT_EQ(rows("SELECT count(*) FROM tasks;"), Rows{"3"});
}

TEST_F(CLIDataTest, ScanTakesTheInboxOnceWithTheAppsLines) {
    const CLIRun empty = run({"scan"});
    EXPECT_EQ(empty.exitStatus, 0);
    EXPECT_EQ(empty.output, "当前没有新的 JSON 回执。\n");
    std::filesystem::copy_file(testData("intake/latin1.json"), home / "inbox" / "b.json");
    std::filesystem::copy_file(testData(deployReceipt), home / "inbox" / "a.json");
    const CLIRun scanned = run({"scan"});
    EXPECT_EQ(scanned.exitStatus, 1);
    EXPECT_EQ(namedFiles(scanned.output), Rows{"a.json"});
    EXPECT_EQ(scanned.errors.rfind("b.json：已拒收，", 0), 0u) << scanned.errors;
    EXPECT_TRUE(std::filesystem::exists(home / "processed" / "a.json"));
    EXPECT_TRUE(std::filesystem::exists(home / "rejected" / "b.json"));
    EXPECT_FALSE(readFile(home / "rejected" / "b.reason.txt").empty());
    EXPECT_EQ(run({"scan"}).output, empty.output);
}

}  // namespace
