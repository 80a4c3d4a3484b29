// export, restore, backup and restore-db through the real binary: the app's notices and failure
// titles, the refusal to overwrite, the safety copies, and the confirmation a restore asks for.

#include <nlohmann/json.hpp>
#include <regex>

#include "CLIFixture.h"

using namespace kestrin;
using namespace kestrin::testing;
using nlohmann::json;

namespace {

class CLIArchiveTest : public CLIFixture {
protected:
    void SetUp() override { importFiles({deployReceipt}); }

    std::string context() const {
        return "当前环境：隔离测试库\n当前数据库：" + (home / "tasks.sqlite").string();
    }
    // The backups' names, sorted; `kind` picks those whose name holds it.
    Rows backups(const std::string& kind = "") const {
        Rows names;
        for (const auto& entry : std::filesystem::directory_iterator(home / "backups"))
            if (entry.path().filename().string().find(kind) != std::string::npos)
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    const std::string archive = (scratch / "archive.json").string();
};

TEST_F(CLIArchiveTest, ExportWritesTheArchiveAndNeverOverwrites) {
    const CLIRun exported = run({"export", archive});
    EXPECT_EQ(exported.exitStatus, 0) << exported.errors;
    EXPECT_EQ(exported.output, "数据归档已导出\n" + context() + "\n归档文件：" + archive + "\n");
    const std::string written = readFile(archive);
    const json document = json::parse(written);
    EXPECT_EQ(document["schema_version"], "1.0.0");
    EXPECT_EQ(document["receipts"].size(), 1u);
    EXPECT_EQ(document["task_states"].size(), 2u);

    const CLIRun again = run({"export", archive});
    EXPECT_EQ(again.exitStatus, 1);
    EXPECT_EQ(again.output, "");
    EXPECT_EQ(again.errors,
              "没有覆盖现有文件：请选择一个新文件名；Velmora 不会静默覆盖已有归档。\n");
    EXPECT_EQ(readFile(archive), written);
    const CLIRun unwritable = run({"export", (scratch / "missing" / "archive.json").string()});
    EXPECT_EQ(unwritable.exitStatus, 1);
    EXPECT_EQ(unwritable.errors.rfind("无法导出数据归档：", 0), 0u) << unwritable.errors;
}

TEST_F(CLIArchiveTest, RestoreMergesTheArchiveBackAfterASafetyCopyButNeverAnOlderOne) {
    ASSERT_EQ(run({"step", sudoTask, "step-1"}).exitStatus, 0);
    ASSERT_EQ(run({"export", archive}).exitStatus, 0);
    ASSERT_EQ(run({"cancel", sudoTask}).exitStatus, 0);
    const CLIRun restored = run({"restore", archive, "--yes"});
    EXPECT_EQ(restored.exitStatus, 0) << restored.errors;
    const auto names = backups();
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(std::regex_match(
        names[0], std::regex(R"(Velmora-before-archive-restore-\d{8}-\d{6}\.sqlite)")));
    EXPECT_EQ(restored.output, "数据归档已恢复\n" + context() + "\n来源归档：" + archive +
                                   "\n已核对 1 张回执和 2 个任务状态。\n恢复前安全副本：" +
                                   (home / "backups" / names[0]).string() + "\n");
    EXPECT_EQ(statusOf(sudoTask), "in_progress");

    json newer = json::parse(readFile(testData(deployReceipt)));
    newer["version"] = 2;
    ASSERT_EQ(run({"import", "-"}, newer.dump()).exitStatus, 0);
    const CLIRun refused = run({"restore", archive, "-y"});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(refused.output, "");
    EXPECT_EQ(refused.errors.rfind("没有恢复数据归档：", 0), 0u) << refused.errors;
    EXPECT_EQ(rows("SELECT version FROM receipts;"), Rows{"2"});
}

TEST_F(CLIArchiveTest, BackupAndRestoreDatabaseBringBackTheStoreAsItWas) {
    const CLIRun backedUp = run({"backup"});
    EXPECT_EQ(backedUp.exitStatus, 0);
    const auto names = backups();
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(std::regex_match(names[0], std::regex(R"(Velmora-manual-\d{8}-\d{6}\.sqlite)")));
    const std::string backup = (home / "backups" / names[0]).string();
    EXPECT_EQ(backedUp.output, "数据库备份已创建\n" + context() + "\n备份文件：" + backup + "\n");

    ASSERT_EQ(run({"delete", sudoTask}).exitStatus, 0);
    const CLIRun restored = run({"restore-db", backup, "--yes"});
    EXPECT_EQ(restored.exitStatus, 0) << restored.errors;
    const auto safety = backups("before-database-restore");
    ASSERT_EQ(safety.size(), 1u);
    EXPECT_EQ(backups(), (Rows{safety[0], names[0]}));  // reading left no "-wal" or "-shm"
    EXPECT_EQ(restored.output, "数据库备份已恢复\n" + context() + "\n来源备份：" + backup +
                                   "\n恢复前安全副本：" + (home / "backups" / safety[0]).string() +
                                   "\n");
    EXPECT_EQ(rows("SELECT count(*) FROM tasks;"), Rows{"2"});
    const CLIRun unsafe = run({"restore-db", (home / "." / "tasks.sqlite").string(), "-y"});
    EXPECT_EQ(unsafe.exitStatus, 1);
    EXPECT_EQ(unsafe.errors.rfind("没有恢复数据库备份：", 0), 0u) << unsafe.errors;
}

TEST_F(CLIArchiveTest, ARestoreAsksTheAppsQuestionOnATerminalAndNeedsAYesElsewhere) {
    ASSERT_EQ(run({"export", archive}).exitStatus, 0);
    ASSERT_EQ(run({"backup"}).exitStatus, 0);
    const std::string backup = (home / "backups" / backups().at(0)).string();
    for (const std::string command : {"restore", "restore-db"}) {
        const CLIRun refused = run({command, command == "restore" ? archive : backup}, "y\n");
        EXPECT_EQ(refused.exitStatus, 1);
        EXPECT_EQ(refused.errors,
                  "需要确认：恢复会替换当前任务库的内容，但标准输入不是终端，无法询问；"
                  "核对来源文件后加 --yes 再运行。\n");
    }
    const CLIRun declined = runOnTerminal({"restore", archive}, "n\n");
    EXPECT_EQ(declined.exitStatus, 1);
    EXPECT_NE(declined.output.find("恢复这份数据归档？\n" + context() + "\n来源文件：" + archive +
                                   "\n\n归档会在临时数据库中完整校验，再合并回当前任务库。"
                                   "较旧回执不会覆盖本地较新版本，恢复前会自动创建安全副本。\n"
                                   "继续恢复？(y/N) "),
              std::string::npos)
        << declined.output;
    EXPECT_NE(declined.output.find("已取消，没有恢复。\n"), std::string::npos);
    EXPECT_EQ(backups().size(), 1u);  // no safety copy: nothing was started
    const CLIRun accepted = runOnTerminal({"restore", archive}, "y\n");
    EXPECT_EQ(accepted.exitStatus, 0) << accepted.output;
    EXPECT_NE(accepted.output.find("数据归档已恢复\n"), std::string::npos);

    // The standard store is named as such.
    const std::map<std::string, std::string> standard{
        {"KESTRIN_HOME", ""}, {"XDG_DATA_HOME", (scratch / "data").string()}};
    ASSERT_EQ(run({"export", (scratch / "standard.json").string()}, {}, standard).exitStatus, 0);
    const CLIRun standardDeclined =
        runOnTerminal({"restore-db", (scratch / "standard.json").string()}, "\n", 80, standard);
    EXPECT_EQ(standardDeclined.exitStatus, 1);
    EXPECT_NE(standardDeclined.output.find("用这份数据库备份恢复？\n当前环境：正式任务库\n"),
              std::string::npos)
        << standardDeclined.output;
    EXPECT_NE(standardDeclined.output.find("失败时会自动尝试回滚。\n恢复到正式任务库？(y/N) "),
              std::string::npos);
}

}  // namespace
