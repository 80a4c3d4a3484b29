// The command line itself, import and scan, and several processes at once on one store and inbox.

#include <sstream>
#include <thread>

#include "CLIFixture.h"
#include "core/intake/BuildInfo.h"
#include "core/intake/ReceiptImporter.h"
#include "core/receipt/Timestamp.h"
#include "core/store/SQLiteTaskStore.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {

using CLIUsageTest = CLIFixture;

TEST_F(CLIUsageTest, HelpVersionAndPathsCreateNothing) {
    std::vector<Expected> runs{{{"--help"}, 0, "~  resume "},
                               {{"--version"}, 0, std::string(BuildInfo::productVersion) + "\n"}};
    for (const char* command : {"list", "count", "show", "history", "paths", "step", "snooze",
                                "status", "resume", "close", "cancel", "delete", "import", "scan",
                                "export", "restore", "backup", "restore-db"})
        runs.push_back({{command, "--help"}, 0, "~Usage: velmora-cli " + std::string(command)});
    const std::string root = home.string();
    runs.push_back({{"paths"}, 0, "当前任务库：隔离测试库\nroot       " + root + "\ninbox      " +
                    root + "/inbox\nprocessed  " + root + "/processed\nrejected   " + root +
                    "/rejected\nbackups    " + root + "/backups\ndatabase   " + root + "/tasks.sqlite\n"});
    expectRuns(runs);
    const auto paths = json::parse(run({"paths", "--json"}).output);
    EXPECT_EQ(paths["environment"], "temporary");
    EXPECT_EQ(paths["environment_name"], "隔离测试库");
    EXPECT_EQ(paths["database"], root + "/tasks.sqlite");
    EXPECT_EQ(paths["rejected"], root + "/rejected");
    EXPECT_FALSE(std::filesystem::exists(home));
}

TEST_F(CLIUsageTest, BadUsageExitsWithTwoAndTouchesNothing) {
    const std::string more = "~Run with --help for more information.";
    std::vector<Expected> runs{{{}, 2, "", "~Usage: velmora-cli [OPTIONS] [SUBCOMMAND]"}};
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"frobnicate"}, {"show"}, {"list", "--status", "someday"},
          {"list", "--colour"}, {"snooze", sudoTask, "2h"}, {"status", sudoTask, "snoozed"},
          {"history", "--limit", "-1"}})
        runs.push_back({arguments, 2, "", more});
    expectRuns(runs);
    EXPECT_FALSE(std::filesystem::exists(home));
    // A data directory that cannot be made is a start-up failure.
    std::ofstream(home) << "not a directory";
    expectRuns({{{"list"}, 1, "", "^无法启动本地任务库：无法创建目录 " + home.string() + "："}});
}

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
TEST_F(CLIUsageTest, ImportReportsEveryFileOnTheStreamOfItsOutcome) {
    const std::string deploy = testData(deployReceipt).string();
    std::string oversized = readFile(deploy);  // read only up to the limit, never held whole
    oversized.resize(ReceiptImporter::maxReceiptBytes + (1 << 20), ' ');
    struct Case {
        std::vector<std::string> arguments;
        std::string input;
        int status;
        Rows accepted, refused;
    };
    const Case cases[] = {
        {{"import", "-"}, oversized, 1, {}, {"标准输入"}},
        {{"import", deploy}, "", 0, {"deploy-v1.json"}, {}},
        {{"import", deploy, testData("intake/latin1.json").string(),
          (scratch / "missing.json").string(), (scratch / "two\nlines.json").string(),
          testData(webReceipt).string()},
         "", 1, {"deploy-v1.json", "claude-web.json"}, {"latin1.json", "missing.json", "two lines.json"}},
        {{"import", "-"}, readFile(deploy), 0, {"标准输入"}, {}},
    };
    std::filesystem::copy_file(testData("intake/latin1.json"), scratch / "two\nlines.json");
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

TEST_F(CLIUsageTest, CommandsSucceedWhileOtherProgramsWriteTheSameStore) {
    importFiles({deployReceipt});
    const json receipt = json::parse(readFile(testData(deployReceipt)));
    auto opened = SQLiteTaskStore::open(home / "tasks.sqlite");
    ASSERT_TRUE(opened);
    constexpr int processes = 4;
    std::vector<std::thread> threads;
    for (int i = 0; i < processes; ++i) {
        threads.emplace_back([&, i] {
            json copy = receipt;
            copy["receipt_id"] = "rc-parallel-" + std::to_string(i);
            const std::string key = "rc-parallel-" + std::to_string(i) + "::item-sudo";
            for (const CLIRun& done :
                 {run({"import", "-"}, copy.dump()), run({"step", key, "step-1"}),
                  run({"list", "--json"}), run({"resume", key}), run({"close", key})})
                EXPECT_EQ(done.exitStatus, 0) << done.errors;
        });
    }
    for (int round = 0; round < 40; ++round) {
        ASSERT_TRUE((*opened)->listTasks(true, currentTimestamp()));
        const auto status = round % 2 ? TaskStatus::pending : TaskStatus::waitingExternal;
        ASSERT_TRUE((*opened)->setStatus(approveTask, status, std::nullopt));
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(rows("SELECT count(*) FROM receipts;"), Rows{"5"});
    EXPECT_EQ(rows("SELECT count(*) FROM tasks WHERE status = 'completed';"),
              Rows{std::to_string(processes)});
}

// Three scans at once on 80 receipts and one unreadable file: each taken and reported once, the
// refused one moved beside its reason; an empty inbox says so.
TEST_F(CLIUsageTest, ScansAtOnceTakeAndReportEachFileOnceWithTheAppsLines) {
    const std::string empty = "当前没有新的 JSON 回执。\n";
    EXPECT_EQ(run({"scan"}).output, empty);  // and it made the inbox
    constexpr int files = 80;
    json receipt = json::parse(readFile(testData(deployReceipt)));
    for (int i = 0; i < files; ++i) {
        receipt["receipt_id"] = "rc-scan-" + std::to_string(i);
        std::ofstream(home / "inbox" / ("rc-scan-" + std::to_string(i) + ".json"))
            << receipt.dump();
    }
    std::filesystem::copy_file(testData("intake/latin1.json"), home / "inbox" / "bad.json");
    std::vector<CLIRun> runs(3);
    std::vector<std::thread> threads;
    for (CLIRun& done : runs) threads.emplace_back([&] { done = run({"scan"}); });
    for (auto& thread : threads) thread.join();

    std::map<std::string, int> importsReported;
    std::string refusals;
    for (const CLIRun& done : runs) {
        EXPECT_EQ(done.exitStatus, done.errors.empty() ? 0 : 1);
        refusals += done.errors;
        std::istringstream lines(done.output);
        for (std::string line; std::getline(lines, line);)
            if (const auto mark = line.find("：已导入 "); mark != line.npos) ++importsReported[line.substr(0, mark)];
    }
    EXPECT_EQ(refusals.rfind("bad.json：已拒收，", 0), 0u) << refusals;
    EXPECT_EQ(refusals.find('\n'), refusals.size() - 1) << refusals;  // refused once
    EXPECT_EQ(importsReported.size(), static_cast<size_t>(files));
    for (const auto& [name, count] : importsReported) EXPECT_EQ(count, 1) << name;
    const auto count = [&](const char* directory) {
        const std::filesystem::directory_iterator entries(home / directory);
        return std::distance(begin(entries), end(entries));
    };
    EXPECT_EQ(count("inbox"), 0);
    EXPECT_EQ(count("processed"), files);
    EXPECT_EQ(count("rejected"), 2);  // no stray reason file
    EXPECT_FALSE(readFile(home / "rejected" / "bad.reason.txt").empty());
    EXPECT_EQ(rows("SELECT count(*) FROM receipts;"), Rows{std::to_string(files)});
    EXPECT_EQ(run({"scan"}).output, empty);
}

}  // namespace
