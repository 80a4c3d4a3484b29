// The model's four data commands over fake panels and alerts: what they ask,
// refuse and report.

#include <sys/resource.h>

#include <QSignalSpy>
#include <QTest>
#include <csignal>

#include "views/GuiHarness.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {


std::size_t backupCount(GuiHarness& harness) {
    const auto directory = harness.root() / "backups";
    if (!std::filesystem::exists(directory)) return 0;
    return std::distance(std::filesystem::directory_iterator(directory), {});
}

DataCommandProgress progressAt(const QSignalSpy& spy, qsizetype index) {
    return spy.at(index).at(0).value<DataCommandProgress>();
}

// A harness whose clock reads 2026-07-27T08:30:00Z, so names built from it are known.
struct Fixed : GuiHarness {
    Fixed() { platform().now = *parseKestrinISO8601("2026-07-27T08:30:00Z"); }
};

}  // namespace

class AppModelDataCommandsTest : public QObject {
    Q_OBJECT

  private slots:
    void exportWritesANewArchiveAndReportsProgress() {
        Fixed harness;
        AppModel& model = harness.model();
        harness.submit(receiptOf("rc-1", "alpha", {"A"}));
        model.exportArchive();  // cancelled: nothing
        QCOMPARE(notice(harness), QString());
        QTemporaryDir target;
        const QString location = target.path() + QStringLiteral("/out.json");
        harness.platform().filePanels->nextChoice = location;
        QSignalSpy progress(&model, &AppModel::dataCommandProgressChanged);
        model.exportArchive();
        const auto& request = harness.platform().filePanels->saveRequests.at(1);
        QCOMPARE(request.title, QStringLiteral("导出 Velmora 数据归档"));
        QCOMPARE(request.proposedName, QStringLiteral("Velmora-export-2026-07-27.json"));
        QCOMPARE(request.allowedType, PanelFileType::json);
        QVERIFY(request.canCreateDirectories);
        QCOMPARE(notice(harness), QStringLiteral("数据归档已导出 | ") + model.currentDataContext() +
                                      QStringLiteral("\n归档文件：") + location);
        const std::string archive = readFile(location.toStdString());
        QVERIFY(archive.find("\"receipt_id\": \"rc-1\"") != std::string::npos);  // pretty layout
        QVERIFY(progress.count() >= 2);
        QCOMPARE(progressAt(progress, 0),
                 (DataCommandProgress{DataCommandProgress::Command::exportArchive, 0, 0, false}));
        const auto last = progressAt(progress, progress.count() - 1);
        QVERIFY(last.finished);
        QCOMPARE(last.completed, last.total);

        // An existing file is never overwritten.
        progress.clear();
        model.exportArchive();
        QCOMPARE(notice(harness), QStringLiteral("没有覆盖现有文件 | 请选择一个新文件名；Velmora "
                                                 "不会静默覆盖已有归档。"));
        QCOMPARE(readFile(location.toStdString()), archive);
        QCOMPARE(progress.count(), 0);
    }

    void exportFailuresLeaveNoFile_data() {
        QTest::addColumn<bool>("fullDisk");
        QTest::newRow("missing directory") << false;
        QTest::newRow("disk full halfway") << true;
    }
    void exportFailuresLeaveNoFile() {
        QFETCH(bool, fullDisk);
        GuiHarness harness;
        harness.submit(receiptOf("rc-1", "alpha", {"A"}));
        QTemporaryDir target;
        const std::string location =
            target.path().toStdString() + (fullDisk ? "/out.json" : "/missing/out.json");
        harness.platform().filePanels->nextChoice = qs(location);
        QSignalSpy progress(&harness.model(), &AppModel::dataCommandProgressChanged);
        // Files may not grow past 100 bytes: the archive's write fails midway.
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit previous{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
        rlimit small = previous;
        small.rlim_cur = 100;
        if (fullDisk) QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        harness.model().exportArchive();
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
        const auto error = std::make_error_code(fullDisk ? std::errc::file_too_large
                                                         : std::errc::no_such_file_or_directory);
        QCOMPARE(notice(harness),
                 QStringLiteral("无法导出数据归档 | ") +
                     qs(FileError::fromCode(FileError::Kind::writeFile, location, error).description()));
        QVERIFY(!std::filesystem::exists(location));
        QVERIFY(progressAt(progress, progress.count() - 1).finished);
    }

    void confirmationNamesTheEnvironmentAndSource() {
        GuiHarness harness;
        AppModel& model = harness.model();
        harness.platform().alerts->nextAnswer = false;
        QVERIFY(!model.confirmRestore(QStringLiteral("标题"), QStringLiteral("/x/a.json"),
                                      QStringLiteral("说明")));
        harness.platform().alerts->nextAnswer = true;
        QVERIFY(model.confirmRestore(QStringLiteral("标题"), QStringLiteral("/x/a.json"),
                                     QStringLiteral("说明")));
        QCOMPARE(harness.platform().alerts->requests.at(0),
                 (ConfirmationRequest{QStringLiteral("标题"),
                                      QStringLiteral("当前环境：隔离测试库\n当前数据库：") +
                                          qs(harness.database().string()) +
                                          QStringLiteral("\n来源文件：/x/a.json\n\n说明"),
                                      QStringLiteral("继续恢复"), QStringLiteral("取消")}));
        QTemporaryDir home;
        GuiHarness standard({{"XDG_DATA_HOME", home.path().toStdString()},
                             {"HOME", home.path().toStdString()}});
        standard.model().confirmRestore(QStringLiteral("t"), QStringLiteral("/s"), QStringLiteral("m"));
        QCOMPARE(standard.platform().alerts->requests.at(0).confirmButton,
                 QStringLiteral("恢复到正式任务库"));
    }

    void restoreArchiveMergesAfterTwoQuestions() {
        Fixed harness;
        AppModel& model = harness.model();
        harness.add(receiptOf("rc-1", "alpha", {"A"}));
        QTemporaryDir target;
        const QString archive = target.path() + QStringLiteral("/archive.json");
        harness.platform().filePanels->nextChoice = archive;
        model.exportArchive();
        // After the export: rc-1's task is closed locally and rc-2 arrives.
        model.setStatus("rc-1::item-1", TaskStatus::completed, std::nullopt);
        harness.submit(receiptOf("rc-2", "alpha", {"A"}));
        harness.turn();
        model.dismissNotice();

        // Cancelled at the panel, then declined at the question: nothing happens.
        harness.platform().filePanels->nextChoice.reset();
        model.restoreArchive();
        QCOMPARE(harness.platform().filePanels->openRequests.at(0).title,
                 QStringLiteral("选择 Velmora 数据归档"));
        QCOMPARE(harness.platform().filePanels->openRequests.at(0).allowedType, PanelFileType::json);
        QVERIFY(harness.platform().alerts->requests.isEmpty());
        harness.platform().filePanels->nextChoice = archive;
        harness.platform().alerts->nextAnswer = false;
        model.restoreArchive();
        const ConfirmationRequest& asked = harness.platform().alerts->requests.at(0);
        QCOMPARE(asked.messageText, QStringLiteral("恢复这份数据归档？"));
        QVERIFY(asked.informativeText.endsWith(
            QStringLiteral("\n\n归档会在临时数据库中完整校验，再合并回当前任务库。较旧回执不会覆盖"
                           "本地较新版本，恢复前会自动创建安全副本。")));
        QCOMPARE(notice(harness), QString());
        QCOMPARE(backupCount(harness), std::size_t(0));

        harness.platform().alerts->nextAnswer = true;
        QSignalSpy progress(&model, &AppModel::dataCommandProgressChanged);
        model.restoreArchive();
        const std::filesystem::path safety =
            harness.root() / "backups" / "Velmora-before-archive-restore-20260727-083000.sqlite";
        QCOMPARE(backupCount(harness), std::size_t(1));
        QCOMPARE(notice(harness), QStringLiteral("数据归档已恢复 | ") + model.currentDataContext() +
                                      QStringLiteral("\n来源归档：") + archive +
                                      QStringLiteral("\n已核对 1 张回执和 1 个任务状态。\n恢复前安全副本：") +
                                      qs(safety.string()));
        // The archived state comes back, the newer receipt stays, the lists reload.
        QCOMPARE(harness.task("rc-1::item-1").status, TaskStatus::pending);
        QCOMPARE(model.tasks().size(), std::size_t(2));
        QCOMPARE(progressAt(progress, 0).command, DataCommandProgress::Command::restoreArchive);
        QVERIFY(progressAt(progress, progress.count() - 1).finished);
    }

    void restoreArchiveFailureKeepsTheLists() {
        GuiHarness harness;
        AppModel& model = harness.model();
        QTemporaryDir target;
        const std::string archive = target.path().toStdString() + "/broken.json";
        writeFile(archive, R"({"schema_version": "2.0.0", "exported_at": "2026-07-27T08:30:00.000Z",
                              "receipts": [], "task_states": []})");
        harness.platform().filePanels->nextChoice = qs(archive);
        harness.submit(receiptOf("rc-1", "alpha", {"A"}));  // would appear with any refresh
        QSignalSpy tasks(&model, &AppModel::tasksChanged);
        model.restoreArchive();
        QCOMPARE(notice(harness),
                 QStringLiteral("没有恢复数据归档 | 暂不支持数据归档版本 2.0.0。"));
        QCOMPARE(tasks.count(), 0);
        harness.platform().filePanels->nextChoice = qs(target.path().toStdString() + "/gone.json");
        model.restoreArchive();
        QVERIFY(notice(harness).startsWith(QStringLiteral("没有恢复数据归档 | ")));
        QVERIFY(notice(harness).contains(QStringLiteral("gone.json")));
    }

    void databaseBackupAndRestore() {
        Fixed harness;
        AppModel& model = harness.model();
        harness.submit(receiptOf("rc-1", "alpha", {"A"}));
        model.createDatabaseBackup();
        const std::filesystem::path backup =
            harness.root() / "backups" / "Velmora-manual-20260727-083000.sqlite";
        QCOMPARE(notice(harness), QStringLiteral("数据库备份已创建 | ") + model.currentDataContext() +
                                      QStringLiteral("\n备份文件：") + qs(backup.string()));
        harness.add(receiptOf("rc-2", "alpha", {"A"}));
        QCOMPARE(model.tasks().size(), std::size_t(2));

        harness.platform().filePanels->nextChoice = qs(backup.string());
        model.restoreDatabaseBackup();
        const auto& open = harness.platform().filePanels->openRequests.at(0);
        QCOMPARE(open.title, QStringLiteral("选择 Velmora 数据库备份"));
        QCOMPARE(open.allowedType, PanelFileType::sqliteDatabase);
        const ConfirmationRequest& asked = harness.platform().alerts->requests.at(0);
        QCOMPARE(asked.messageText, QStringLiteral("用这份数据库备份恢复？"));
        QVERIFY(asked.informativeText.endsWith(
            QStringLiteral("\n\n当前数据库会先保存为安全副本。来源数据库将经过版本和完整性检查；"
                           "失败时会自动尝试回滚。")));
        const std::filesystem::path safety =
            harness.root() / "backups" / "Velmora-before-database-restore-20260727-083000.sqlite";
        QCOMPARE(notice(harness), QStringLiteral("数据库备份已恢复 | ") + model.currentDataContext() +
                                      QStringLiteral("\n来源备份：") + qs(backup.string()) +
                                      QStringLiteral("\n恢复前安全副本：") + qs(safety.string()));
        // Copied into this very connection: the refresh sees it.
        QCOMPARE(model.tasks().size(), std::size_t(1));

        model.dismissNotice();
        harness.platform().alerts->nextAnswer = false;
        model.restoreDatabaseBackup();
        QCOMPARE(notice(harness), QString());

        harness.platform().alerts->nextAnswer = true;
        harness.platform().filePanels->nextChoice = qs(harness.database().string());
        model.restoreDatabaseBackup();
        QCOMPARE(notice(harness), QStringLiteral("没有恢复数据库备份 | 不能使用当前任务数据库作为备份"
                                                 "或恢复来源：") + qs(harness.database().string()));
        QCOMPARE(model.tasks().size(), std::size_t(1));
    }
};

QTEST_GUILESS_MAIN(AppModelDataCommandsTest)
#include "AppModelDataCommandsTest.moc"
