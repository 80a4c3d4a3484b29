// The command line itself, the data commands, and several processes on one store and inbox.

#include <regex>
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
    runs.push_back({{"paths"},
                    0,
                    "当前任务库：隔离测试库\nroot       " + root + "\ninbox      " + root +
                        "/inbox\nprocessed  " + root + "/processed\nrejected   " + root +
                        "/rejected\nbackups    " + root + "/backups\ndatabase   " + root +
                        "/tasks.sqlite\n"});
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
    // clang-format off
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"frobnicate"}, {"show"}, {"list", "--status", "someday"},
          {"list", "--colour"}, {"snooze", sudoTask, "2h"}, {"status", sudoTask, "snoozed"},
          {"history", "--limit", "-1"}})
        // clang-format on
        runs.push_back({arguments, 2, "", more});
    expectRuns(runs);
    EXPECT_FALSE(std::filesystem::exists(home));
    // A data directory that cannot be made is a start-up failure.
    std::ofstream(home) << "not a directory";
    expectRuns({{{"list"}, 1, "", "^无法启动本地任务库：无法创建目录 " + home.string() + "："}});
}

// The file each line is about: what comes before its "：".
Rows namedFiles(const std::string& text) {
    Rows names = textLines(text);
    for (auto& name : names) name.erase(std::min(name.find("："), name.size()));
    return names;
}

// One after another on one store, so the second import of a file is a duplicate.
TEST_F(CLIUsageTest, ImportReportsEveryFileOnTheStreamOfItsOutcome) {
    const std::string deploy = testData(deployReceipt).string();
    std::string oversized = readFile(deploy);  // read only up to the limit, never held whole
    oversized.resize(ReceiptImporter::maxReceiptBytes + (1 << 20), ' ');
    const std::string latin1 = testData("intake/latin1.json").string(),
                      twoLines = (scratch / "two\nlines.json").string();
    std::filesystem::copy_file(latin1, twoLines);
    // clang-format off
    const std::tuple<std::vector<std::string>, std::string, int, Rows, Rows> cases[] = {
        {{"import", "-"}, oversized, 1, {}, {"标准输入"}},
        {{"import", deploy}, "", 0, {"deploy-v1.json"}, {}},
        {{"import", deploy, latin1, (scratch / "missing.json").string(), twoLines,
          testData(webReceipt).string()}, "", 1, {"deploy-v1.json", "claude-web.json"},
         {"latin1.json", "missing.json", "two lines.json"}},
        {{"import", "-"}, readFile(deploy), 0, {"标准输入"}, {}}};
    // clang-format on
    for (const auto& [arguments, input, status, accepted, refused] : cases) {
        SCOPED_TRACE(::testing::PrintToString(arguments));
        const CLIRun imported = run(arguments, input);
        EXPECT_EQ(imported.exitStatus, status);
        EXPECT_EQ(namedFiles(imported.output), accepted) << imported.output;
        EXPECT_EQ(namedFiles(imported.errors), refused) << imported.errors;
        EXPECT_TRUE(input.size() <= ReceiptImporter::maxReceiptBytes ||
                    rows("SELECT count(*) FROM receipts;") == Rows{"0"});
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

// Three scans at once: each file taken and reported once, the refused one beside its reason.
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
        for (const auto& line : textLines(done.output))
            if (const auto mark = line.find("：已导入 "); mark != line.npos)
                ++importsReported[line.substr(0, mark)];
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

class CLIArchiveTest : public CLIFixture {
protected:
    void SetUp() override { importFiles({deployReceipt}); }

    std::string context() const {
        return "当前环境：隔离测试库\n当前数据库：" + (home / "tasks.sqlite").string();
    }
    Rows backups() const {  // sorted
        Rows found;
        for (const auto& entry : std::filesystem::directory_iterator(home / "backups"))
            found.push_back(entry.path().string());
        std::sort(found.begin(), found.end());
        return found;
    }
    bool named(const std::string& path, const std::string& kind) const {
        const std::string pattern =
            (home / "backups").string() + "/Velmora-" + kind + R"(-\d{8}-\d{6}\.sqlite)";
        return std::regex_match(path, std::regex(pattern));
    }
    const std::string archive = (scratch / "archive.json").string();
};

// Export never overwrites; restore merges after a safety copy, never over a newer receipt.
TEST_F(CLIArchiveTest, ExportNeverOverwritesAndRestoreMergesBackAfterASafetyCopy) {
    // clang-format off
    expectRuns({{{"step", sudoTask, "step-1"}, 0, "*"},
                {{"export", archive}, 0, "数据归档已导出\n" + context() + "\n归档文件：" + archive + "\n"}});
    const std::string written = readFile(archive);
    expectRuns({
        {{"export", archive}, 1, "", "没有覆盖现有文件：请选择一个新文件名；Velmora 不会静默覆盖已有归档。\n"},
        {{"export", (scratch / "missing" / "archive.json").string()}, 1, "", "^无法导出数据归档："},
        {{"cancel", sudoTask}, 0, "*"}});
    // clang-format on
    EXPECT_EQ(readFile(archive), written);
    const CLIRun restored = run({"restore", archive, "--yes"});
    EXPECT_EQ(restored.exitStatus, 0) << restored.errors;
    ASSERT_EQ(backups().size(), 1u);
    EXPECT_TRUE(named(backups()[0], "before-archive-restore")) << backups()[0];
    EXPECT_EQ(restored.output, "数据归档已恢复\n" + context() + "\n来源归档：" + archive +
                                   "\n已核对 1 张回执和 2 个任务状态。\n恢复前安全副本：" +
                                   backups()[0] + "\n");
    EXPECT_EQ(statusOf(sudoTask), "in_progress");
    json newer = json::parse(readFile(testData(deployReceipt)));
    newer["version"] = 2;
    expectRuns({{{"import", "-"}, 0, "*", "", newer.dump()},
                {{"restore", archive, "-y"}, 1, "", "^没有恢复数据归档："}});
    EXPECT_EQ(rows("SELECT version FROM receipts;"), Rows{"2"});
}

TEST_F(CLIArchiveTest, BackupAndRestoreDatabaseBringBackTheStoreAsItWas) {
    const CLIRun backedUp = run({"backup"});
    const Rows made = backups();
    EXPECT_EQ(backedUp.exitStatus, 0);
    ASSERT_EQ(made.size(), 1u);
    EXPECT_TRUE(named(made[0], "manual")) << made[0];
    EXPECT_EQ(backedUp.output, "数据库备份已创建\n" + context() + "\n备份文件：" + made[0] + "\n");
    ASSERT_EQ(run({"delete", sudoTask}).exitStatus, 0);
    const CLIRun restored = run({"restore-db", made[0], "--yes"});
    EXPECT_EQ(restored.exitStatus, 0) << restored.errors;
    const Rows after = backups();  // reading the backup left no "-wal" or "-shm" beside it
    ASSERT_EQ(after.size(), 2u);
    EXPECT_TRUE(named(after[0], "before-database-restore")) << after[0];
    EXPECT_EQ(restored.output, "数据库备份已恢复\n" + context() + "\n来源备份：" + made[0] +
                                   "\n恢复前安全副本：" + after[0] + "\n");
    EXPECT_EQ(rows("SELECT count(*) FROM tasks;"), Rows{"2"});
    const std::string live = (home / "." / "tasks.sqlite").string();
    expectRuns({{{"restore-db", live, "-y"}, 1, "", "^没有恢复数据库备份："}});
}

TEST_F(CLIArchiveTest, ARestoreAsksTheAppsQuestionOnATerminalAndNeedsAYesElsewhere) {
    ASSERT_EQ(run({"export", archive}).exitStatus, 0);
    ASSERT_EQ(run({"backup"}).exitStatus, 0);
    const std::string cannotAsk =
        "需要确认：恢复会替换当前任务库的内容，但标准输入不是终端，"
        "无法询问；核对来源文件后加 --yes 再运行。\n";
    expectRuns({{{"restore", archive}, 1, "", cannotAsk, "y\n"},
                {{"restore-db", backups().at(0)}, 1, "", cannotAsk, "y\n"}});
    const CLIRun declined = run({"restore", archive}, "n\n", {}, 80);
    EXPECT_EQ(declined.exitStatus, 1);
    expectMatch(declined.output,
                "~恢复这份数据归档？\n" + context() + "\n来源文件：" + archive +
                    "\n\n归档会在临时数据库中完整校验，再合并回当前任务库。较旧回执不会"
                    "覆盖本地较新版本，恢复前会自动创建安全副本。\n继续恢复？(y/N) ",
                "output");
    expectMatch(declined.output, "~已取消，没有恢复。\n", "output");
    EXPECT_EQ(backups().size(), 1u);  // no safety copy: nothing was started
    const CLIRun accepted = run({"restore", archive}, "y\n", {}, 80);
    EXPECT_EQ(accepted.exitStatus, 0) << accepted.output;
    EXPECT_NE(accepted.output.find("数据归档已恢复\n"), std::string::npos);

    // The standard store is named as such.
    const std::map<std::string, std::string> standard{
        {"KESTRIN_HOME", ""}, {"XDG_DATA_HOME", (scratch / "data").string()}};
    const std::string other = (scratch / "standard.json").string();
    ASSERT_EQ(run({"export", other}, {}, standard).exitStatus, 0);
    const CLIRun asked = run({"restore-db", other}, "\n", standard, 80);
    EXPECT_EQ(asked.exitStatus, 1);
    expectMatch(asked.output, "~用这份数据库备份恢复？\n当前环境：正式任务库\n", "output");
    expectMatch(asked.output, "~失败时会自动尝试回滚。\n恢复到正式任务库？(y/N) ", "output");
}

}  // namespace
