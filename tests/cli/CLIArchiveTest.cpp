// export, restore, backup and restore-db through the real binary: the app's
// notices and failure titles, the refusal to overwrite, and the confirmation
// that a restore asks for.

#include <nlohmann/json.hpp>
#include <regex>

#include "CLIFixture.h"

using namespace kestrin;
using namespace kestrin::testing;
using nlohmann::json;

namespace {

class CLIArchiveTest : public CLIFixture {
protected:
    void SetUp() override {
        CLIFixture::SetUp();
        importFile(testData("intake/deploy-v1.json"));
        archive = (scratch / "archive.json").string();
    }

    std::string context() const {
        return "当前环境：隔离测试库\n当前数据库：" + (home / "tasks.sqlite").string();
    }

    std::vector<std::string> backups() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(home / "backups")) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string statusOf(const std::string& taskKey) const {
        return rows("SELECT status FROM tasks WHERE task_key = '" + taskKey + "';").at(0);
    }

    std::string archive;
};

TEST_F(CLIArchiveTest, ExportWritesTheArchiveAndNeverOverwrites) {
    const CLIRun exported = run({"export", archive});
    EXPECT_EQ(exported.exitStatus, 0) << exported.errors;
    EXPECT_EQ(exported.output, "数据归档已导出\n" + context() + "\n归档文件：" + archive + "\n");
    const json document = json::parse(readFile(archive));
    EXPECT_EQ(document["schema_version"], "1.0.0");
    EXPECT_EQ(document["receipts"].size(), 1u);
    EXPECT_EQ(document["task_states"].size(), 2u);

    const std::string before = readFile(archive);
    const CLIRun again = run({"export", archive});
    EXPECT_EQ(again.exitStatus, 1);
    EXPECT_EQ(again.output, "");
    EXPECT_EQ(again.errors,
              "没有覆盖现有文件：请选择一个新文件名；Velmora 不会静默覆盖已有归档。\n");
    EXPECT_EQ(readFile(archive), before);

    // The cause after the title is the core's text.
    const CLIRun unwritable = run({"export", (scratch / "missing" / "archive.json").string()});
    EXPECT_EQ(unwritable.exitStatus, 1);
    EXPECT_EQ(unwritable.errors.rfind("无法导出数据归档：", 0), 0u) << unwritable.errors;
}

TEST_F(CLIArchiveTest, RestoreMergesTheArchiveBackAfterASafetyCopy) {
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
}

TEST_F(CLIArchiveTest, RestoreOfAnOlderArchiveIsRefusedWithTheArchiveText) {
    ASSERT_EQ(run({"export", archive}).exitStatus, 0);
    json newer = json::parse(readFile(testData("intake/deploy-v1.json")));
    newer["version"] = 2;
    ASSERT_EQ(run({"import", "-"}, newer.dump()).exitStatus, 0);

    const CLIRun refused = run({"restore", archive, "-y"});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(refused.output, "");
    EXPECT_EQ(refused.errors.rfind("没有恢复数据归档：", 0), 0u) << refused.errors;
    EXPECT_EQ(rows("SELECT version FROM receipts;"), (std::vector<std::string>{"2"}));
}

TEST_F(CLIArchiveTest, RestoresNeedAYesWhenNoTerminalCanAsk) {
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
    EXPECT_EQ(backups().size(), 1u);  // no safety copy: nothing was started
}

TEST_F(CLIArchiveTest, OnATerminalARestoreAsksTheAppsQuestionFirst) {
    ASSERT_EQ(run({"export", archive}).exitStatus, 0);
    const CLIRun declined = runOnTerminal({"restore", archive}, "n\n");
    EXPECT_EQ(declined.exitStatus, 1);
    EXPECT_NE(declined.output.find("恢复这份数据归档？\n" + context() + "\n来源文件：" + archive +
                                   "\n\n归档会在临时数据库中完整校验，再合并回当前任务库。"
                                   "较旧回执不会覆盖本地较新版本，恢复前会自动创建安全副本。\n"
                                   "继续恢复？(y/N) "),
              std::string::npos)
        << declined.output;
    EXPECT_NE(declined.output.find("已取消，没有恢复。\n"), std::string::npos);
    EXPECT_TRUE(backups().empty());

    const CLIRun accepted = runOnTerminal({"restore", archive}, "y\n");
    EXPECT_EQ(accepted.exitStatus, 0) << accepted.output;
    EXPECT_NE(accepted.output.find("数据归档已恢复\n"), std::string::npos);
}

TEST_F(CLIArchiveTest, TheStandardStoreIsNamedInTheConfirmation) {
    const auto data = scratch / "data";
    const std::map<std::string, std::string> standard{{"KESTRIN_HOME", ""},
                                                      {"XDG_DATA_HOME", data.string()}};
    ASSERT_EQ(run({"export", archive}, {}, standard).exitStatus, 0);
    const CLIRun declined = runOnTerminal({"restore-db", archive}, "\n", 80, standard);
    EXPECT_EQ(declined.exitStatus, 1);
    EXPECT_NE(declined.output.find("用这份数据库备份恢复？\n当前环境：正式任务库\n"),
              std::string::npos)
        << declined.output;
    EXPECT_NE(declined.output.find("失败时会自动尝试回滚。\n恢复到正式任务库？(y/N) "),
              std::string::npos);
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
    std::string safety;
    for (const auto& name : backups()) {
        if (name.find("before-database-restore") != std::string::npos) safety = name;
    }
    ASSERT_FALSE(safety.empty());
    // Reading the backup left no "-wal" or "-shm" beside it.
    EXPECT_EQ(backups(), (std::vector<std::string>{safety, names[0]}));
    EXPECT_EQ(restored.output, "数据库备份已恢复\n" + context() + "\n来源备份：" + backup +
                                   "\n恢复前安全副本：" + (home / "backups" / safety).string() +
                                   "\n");
    EXPECT_EQ(rows("SELECT count(*) FROM tasks;"), (std::vector<std::string>{"2"}));

    const std::string live = (home / "." / "tasks.sqlite").string();
    const CLIRun unsafe = run({"restore-db", live, "-y"});
    EXPECT_EQ(unsafe.exitStatus, 1);
    EXPECT_EQ(unsafe.errors.rfind("没有恢复数据库备份：", 0), 0u) << unsafe.errors;
}

}  // namespace
