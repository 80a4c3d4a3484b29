// export, restore, backup and restore-db through the real binary: the app's notices and failure
// titles, the refusal to overwrite, the safety copies, and the confirmation a restore asks for.

#include <regex>

#include "CLIFixture.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {

class CLIArchiveTest : public CLIFixture {
protected:
    void SetUp() override { importFiles({deployReceipt}); }

    std::string context() const { return "当前环境：隔离测试库\n当前数据库：" + (home / "tasks.sqlite").string(); }
    Rows backups() const {  // sorted
        Rows found;
        for (const auto& entry : std::filesystem::directory_iterator(home / "backups"))
            found.push_back(entry.path().string());
        std::sort(found.begin(), found.end());
        return found;
    }
    bool named(const std::string& path, const std::string& kind) const {
        const std::string pattern = (home / "backups").string() + "/Velmora-" + kind + R"(-\d{8}-\d{6}\.sqlite)";
        return std::regex_match(path, std::regex(pattern));
    }
    const std::string archive = (scratch / "archive.json").string();
};

// The export never overwrites; the restore merges it back after a safety copy, never over a newer
// receipt.
TEST_F(CLIArchiveTest, ExportNeverOverwritesAndRestoreMergesBackAfterASafetyCopy) {
    expectRuns({{{"step", sudoTask, "step-1"}, 0, "*"},
                {{"export", archive}, 0, "数据归档已导出\n" + context() + "\n归档文件：" + archive + "\n"}});
    const std::string written = readFile(archive);
    expectRuns({
        {{"export", archive}, 1, "", "没有覆盖现有文件：请选择一个新文件名；Velmora 不会静默覆盖已有归档。\n"},
        {{"export", (scratch / "missing" / "archive.json").string()}, 1, "", "^无法导出数据归档："},
        {{"cancel", sudoTask}, 0, "*"},
    });
    EXPECT_EQ(readFile(archive), written);
    const CLIRun restored = run({"restore", archive, "--yes"});
    EXPECT_EQ(restored.exitStatus, 0) << restored.errors;
    ASSERT_EQ(backups().size(), 1u);
    EXPECT_TRUE(named(backups()[0], "before-archive-restore")) << backups()[0];
    EXPECT_EQ(restored.output, "数据归档已恢复\n" + context() + "\n来源归档：" + archive +
                                   "\n已核对 1 张回执和 2 个任务状态。\n恢复前安全副本：" + backups()[0] + "\n");
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
    EXPECT_EQ(restored.output, "数据库备份已恢复\n" + context() + "\n来源备份：" + made[0] + "\n恢复前安全副本：" + after[0] + "\n");
    EXPECT_EQ(rows("SELECT count(*) FROM tasks;"), Rows{"2"});
    expectRuns({{{"restore-db", (home / "." / "tasks.sqlite").string(), "-y"}, 1, "",
                 "^没有恢复数据库备份："}});
}

TEST_F(CLIArchiveTest, ARestoreAsksTheAppsQuestionOnATerminalAndNeedsAYesElsewhere) {
    ASSERT_EQ(run({"export", archive}).exitStatus, 0);
    ASSERT_EQ(run({"backup"}).exitStatus, 0);
    const std::string cannotAsk = "需要确认：恢复会替换当前任务库的内容，但标准输入不是终端，"
                                  "无法询问；核对来源文件后加 --yes 再运行。\n";
    expectRuns({{{"restore", archive}, 1, "", cannotAsk, "y\n"},
                {{"restore-db", backups().at(0)}, 1, "", cannotAsk, "y\n"}});
    const CLIRun declined = run({"restore", archive}, "n\n", {}, 80);
    EXPECT_EQ(declined.exitStatus, 1);
    EXPECT_NE(declined.output.find("恢复这份数据归档？\n" + context() + "\n来源文件：" + archive +
                                   "\n\n归档会在临时数据库中完整校验，再合并回当前任务库。较旧回执不会"
                                   "覆盖本地较新版本，恢复前会自动创建安全副本。\n继续恢复？(y/N) "),
              std::string::npos) << declined.output;
    EXPECT_NE(declined.output.find("已取消，没有恢复。\n"), std::string::npos);
    EXPECT_EQ(backups().size(), 1u);  // no safety copy: nothing was started
    const CLIRun accepted = run({"restore", archive}, "y\n", {}, 80);
    EXPECT_EQ(accepted.exitStatus, 0) << accepted.output;
    EXPECT_NE(accepted.output.find("数据归档已恢复\n"), std::string::npos);

    // The standard store is named as such.
    const std::map<std::string, std::string> standard{{"KESTRIN_HOME", ""}, {"XDG_DATA_HOME", (scratch / "data").string()}};
    const std::string other = (scratch / "standard.json").string();
    ASSERT_EQ(run({"export", other}, {}, standard).exitStatus, 0);
    const CLIRun asked = run({"restore-db", other}, "\n", standard, 80);
    EXPECT_EQ(asked.exitStatus, 1);
    EXPECT_NE(asked.output.find("用这份数据库备份恢复？\n当前环境：正式任务库\n"), std::string::npos) << asked.output;
    EXPECT_NE(asked.output.find("失败时会自动尝试回滚。\n恢复到正式任务库？(y/N) "),
              std::string::npos);
}

}  // namespace
