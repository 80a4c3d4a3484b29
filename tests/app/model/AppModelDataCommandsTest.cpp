// The model's four data commands with fake panels and alerts: what they ask,
// what they refuse, what they report.

#include <sys/resource.h>

#include <QSignalSpy>
#include <QTest>
#include <csignal>
#include <fstream>
#include <sstream>

#include "AppModelFixture.h"
#include "core/archive/TaskArchiveManager.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::filesystem::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::vector<std::filesystem::path> backupsIn(const std::filesystem::path& directory) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

ReceiptSpec receipt(const std::string& id, int version = 1) {
    ReceiptSpec draft;
    draft.receiptID = id;
    draft.version = version;
    draft.items = {{"item-a", "Item A of " + id}};
    return draft;
}

// 2026-07-27T08:30:00Z, so that names built from the clock are known.
Timestamp fixedNow() {
    return *parseKestrinISO8601("2026-07-27T08:30:00Z");
}

}  // namespace

class AppModelDataCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void exportWritesANewArchiveAndReportsProgress();
    void exportRefusesAnExistingFile();
    void exportCancelledDoesNothing();
    void exportWriteFailureIsReported();
    void exportFailingHalfwayLeavesNoFile();

    void confirmationNamesTheEnvironmentAndSource();
    void confirmationButtonInTheStandardEnvironment();
    void restoreArchiveCancelledAtEitherStepDoesNothing();
    void restoreArchiveMergesAndReports();
    void restoreArchiveFailureKeepsTheLists();

    void backupIsCreatedAndReported();
    void databaseRestoreReplacesTheContent();
    void databaseRestoreFailureIsReported();
};

// ---- Export ----

void AppModelDataCommandsTest::exportWritesANewArchiveAndReportsProgress() {
    ModelHarness harness;
    harness.platform().now = fixedNow();
    AppModel& model = harness.model();
    harness.submit(receipt("rc-1"));
    QTemporaryDir target;
    const QString location = target.path() + QStringLiteral("/out.json");
    harness.platform().filePanels->nextChoice = location;
    QSignalSpy progress(&model, &AppModel::dataCommandProgressChanged);

    model.exportArchive();
    const auto& request = harness.platform().filePanels->saveRequests.at(0);
    QCOMPARE(request.title, QStringLiteral("导出 Velmora 数据归档"));
    QCOMPARE(request.proposedName, QStringLiteral("Velmora-export-2026-07-27.json"));
    QCOMPARE(request.allowedType, PanelFileType::json);
    QVERIFY(request.canCreateDirectories);

    QCOMPARE(model.notice()->title, QStringLiteral("数据归档已导出"));
    QCOMPARE(model.notice()->message,
             model.currentDataContext() + QStringLiteral("\n归档文件：") + location);
    const std::string archive = readFile(location.toStdString());
    QVERIFY(archive.find("\"receipt_id\": \"rc-1\"") != std::string::npos);  // pretty layout
    QVERIFY(archive.find("\"schema_version\": \"1.0.0\"") != std::string::npos);

    QVERIFY(progress.count() >= 2);
    const auto first = progress.first().at(0).value<DataCommandProgress>();
    const auto last = progress.last().at(0).value<DataCommandProgress>();
    QCOMPARE(first,
             (DataCommandProgress{DataCommandProgress::Command::exportArchive, 0, 0, false}));
    QVERIFY(last.finished);
    QCOMPARE(last.completed, last.total);
}

void AppModelDataCommandsTest::exportRefusesAnExistingFile() {
    ModelHarness harness;
    AppModel& model = harness.model();
    QTemporaryDir target;
    const QString location = target.path() + QStringLiteral("/Velmora-export-2026-07-27.json");
    writeFile(location.toStdString(), "an earlier archive");
    harness.platform().filePanels->nextChoice = location;
    QSignalSpy progress(&model, &AppModel::dataCommandProgressChanged);

    model.exportArchive();
    QCOMPARE(model.notice()->title, QStringLiteral("没有覆盖现有文件"));
    QCOMPARE(model.notice()->message,
             QStringLiteral("请选择一个新文件名；Velmora 不会静默覆盖已有归档。"));
    QCOMPARE(readFile(location.toStdString()), std::string("an earlier archive"));
    QCOMPARE(progress.count(), 0);
}

void AppModelDataCommandsTest::exportCancelledDoesNothing() {
    ModelHarness harness;
    harness.model().exportArchive();
    QCOMPARE(harness.platform().filePanels->saveRequests.size(), 1);
    QVERIFY(!harness.model().notice());
}

void AppModelDataCommandsTest::exportWriteFailureIsReported() {
    ModelHarness harness;
    AppModel& model = harness.model();
    QTemporaryDir target;
    const std::string location = target.path().toStdString() + "/missing/out.json";
    harness.platform().filePanels->nextChoice = qs(location);
    QSignalSpy progress(&model, &AppModel::dataCommandProgressChanged);

    model.exportArchive();
    QCOMPARE(model.notice()->title, QStringLiteral("无法导出数据归档"));
    const FileError expected =
        FileError::fromCode(FileError::Kind::writeFile, location,
                            std::make_error_code(std::errc::no_such_file_or_directory));
    QCOMPARE(model.notice()->message, qs(expected.description()));
    QVERIFY(progress.last().at(0).value<DataCommandProgress>().finished);
}

void AppModelDataCommandsTest::exportFailingHalfwayLeavesNoFile() {
    ModelHarness harness;
    AppModel& model = harness.model();
    harness.submit(receipt("rc-1"));
    QTemporaryDir target;
    const std::string location = target.path().toStdString() + "/out.json";
    harness.platform().filePanels->nextChoice = qs(location);

    // Files may not grow past 100 bytes: the archive's write fails midway.
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previousLimit{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &previousLimit), 0);
    rlimit small = previousLimit;
    small.rlim_cur = 100;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    model.exportArchive();
    setrlimit(RLIMIT_FSIZE, &previousLimit);
    std::signal(SIGXFSZ, previousHandler);

    QCOMPARE(model.notice()->title, QStringLiteral("无法导出数据归档"));
    const FileError expected = FileError::fromCode(FileError::Kind::writeFile, location,
                                                   std::make_error_code(std::errc::file_too_large));
    QCOMPARE(model.notice()->message, qs(expected.description()));
    QVERIFY(!std::filesystem::exists(location));  // no truncated archive is left behind
}

// ---- Restore confirmation ----

void AppModelDataCommandsTest::confirmationNamesTheEnvironmentAndSource() {
    ModelHarness harness;
    AppModel& model = harness.model();
    harness.platform().alerts->nextAnswer = false;
    QVERIFY(!model.confirmRestore(QStringLiteral("标题"), QStringLiteral("/x/a.json"),
                                  QStringLiteral("说明")));
    harness.platform().alerts->nextAnswer = true;
    QVERIFY(model.confirmRestore(QStringLiteral("标题"), QStringLiteral("/x/a.json"),
                                 QStringLiteral("说明")));
    const ConfirmationRequest& request = harness.platform().alerts->requests.at(0);
    QCOMPARE(request.messageText, QStringLiteral("标题"));
    QCOMPARE(request.informativeText, QStringLiteral("当前环境：隔离测试库\n当前数据库：") +
                                          qs(harness.database().string()) +
                                          QStringLiteral("\n来源文件：/x/a.json\n\n说明"));
    QCOMPARE(request.confirmButton, QStringLiteral("继续恢复"));
    QCOMPARE(request.cancelButton, QStringLiteral("取消"));
}

void AppModelDataCommandsTest::confirmationButtonInTheStandardEnvironment() {
    QTemporaryDir dataHome;
    ModelHarness harness({{"XDG_DATA_HOME", dataHome.path().toStdString()},
                          {"HOME", dataHome.path().toStdString()}});
    harness.model().confirmRestore(QStringLiteral("t"), QStringLiteral("/s"), QStringLiteral("m"));
    QCOMPARE(harness.platform().alerts->requests.at(0).confirmButton,
             QStringLiteral("恢复到正式任务库"));
}

// ---- Archive restore ----

void AppModelDataCommandsTest::restoreArchiveCancelledAtEitherStepDoesNothing() {
    ModelHarness harness;
    AppModel& model = harness.model();
    model.restoreArchive();
    QCOMPARE(harness.platform().filePanels->openRequests.at(0).title,
             QStringLiteral("选择 Velmora 数据归档"));
    QCOMPARE(harness.platform().filePanels->openRequests.at(0).allowedType, PanelFileType::json);
    QVERIFY(harness.platform().alerts->requests.isEmpty());

    harness.platform().filePanels->nextChoice = QStringLiteral("/nowhere/a.json");
    harness.platform().alerts->nextAnswer = false;
    model.restoreArchive();
    const ConfirmationRequest& request = harness.platform().alerts->requests.at(0);
    QCOMPARE(request.messageText, QStringLiteral("恢复这份数据归档？"));
    QVERIFY(request.informativeText.endsWith(
        QStringLiteral("\n来源文件：/nowhere/a.json\n\n归档会在临时数据库中完整校验，再合并回当前"
                       "任务库。较旧回执不会覆盖本地较新版本，恢复前会自动创建安全副本。")));
    QVERIFY(!model.notice());
    QVERIFY(backupsIn(harness.root() / "backups").empty());
}

void AppModelDataCommandsTest::restoreArchiveMergesAndReports() {
    ModelHarness harness;
    harness.platform().now = fixedNow();
    AppModel& model = harness.model();
    harness.submit(receipt("rc-1"));
    model.refresh();
    QTemporaryDir target;
    const QString archive = target.path() + QStringLiteral("/archive.json");
    harness.platform().filePanels->nextChoice = archive;
    model.exportArchive();

    // After the export: rc-1's task is closed locally and rc-2 arrives.
    model.setStatus(taskKey("rc-1", "item-a"), TaskStatus::completed, std::nullopt);
    harness.submit(receipt("rc-2"));
    harness.turnEventLoop();

    QSignalSpy progress(&model, &AppModel::dataCommandProgressChanged);
    model.restoreArchive();
    QCOMPARE(model.notice()->title, QStringLiteral("数据归档已恢复"));
    const auto backups = backupsIn(harness.root() / "backups");
    QCOMPARE(backups.size(), std::size_t(1));
    QCOMPARE(qs(backups[0].filename().string()),
             QStringLiteral("Velmora-before-archive-restore-20260727-083000.sqlite"));
    QCOMPARE(model.notice()->message,
             model.currentDataContext() + QStringLiteral("\n来源归档：") + archive +
                 QStringLiteral("\n已核对 1 张回执和 1 个任务状态。\n恢复前安全副本：") +
                 qs(backups[0].string()));
    // The archived state comes back, the newer receipt stays, the lists reloaded.
    QCOMPARE(harness.task(taskKey("rc-1", "item-a")).status, TaskStatus::pending);
    QCOMPARE(model.tasks().size(), std::size_t(2));
    QVERIFY(progress.first().at(0).value<DataCommandProgress>().command ==
            DataCommandProgress::Command::restoreArchive);
    QVERIFY(progress.last().at(0).value<DataCommandProgress>().finished);
}

void AppModelDataCommandsTest::restoreArchiveFailureKeepsTheLists() {
    ModelHarness harness;
    AppModel& model = harness.model();
    harness.submit(receipt("rc-1"));
    model.refresh();
    QTemporaryDir target;
    const std::string archive = target.path().toStdString() + "/broken.json";
    writeFile(archive,
              "{\"schema_version\": \"2.0.0\", \"exported_at\": "
              "\"2026-07-27T08:30:00.000Z\", \"receipts\": [], \"task_states\": []}");
    harness.platform().filePanels->nextChoice = qs(archive);
    harness.submit(receipt("rc-2"));  // would appear with any refresh
    QSignalSpy tasksSpy(&model, &AppModel::tasksChanged);

    model.restoreArchive();
    QCOMPARE(model.notice()->title, QStringLiteral("没有恢复数据归档"));
    QCOMPARE(model.notice()->message, QStringLiteral("暂不支持数据归档版本 2.0.0。"));
    QCOMPARE(tasksSpy.count(), 0);

    // A file that cannot be read is reported the same way.
    harness.platform().filePanels->nextChoice = qs(target.path().toStdString() + "/gone.json");
    model.restoreArchive();
    QCOMPARE(model.notice()->title, QStringLiteral("没有恢复数据归档"));
    QVERIFY(model.notice()->message.contains(QStringLiteral("gone.json")));
}

// ---- Database backup and restore ----

void AppModelDataCommandsTest::backupIsCreatedAndReported() {
    ModelHarness harness;
    harness.platform().now = fixedNow();
    AppModel& model = harness.model();
    model.createDatabaseBackup();
    const std::filesystem::path expected =
        harness.root() / "backups" / "Velmora-manual-20260727-083000.sqlite";
    QVERIFY(std::filesystem::exists(expected));
    QCOMPARE(model.notice()->title, QStringLiteral("数据库备份已创建"));
    QCOMPARE(model.notice()->message,
             model.currentDataContext() + QStringLiteral("\n备份文件：") + qs(expected.string()));
}

void AppModelDataCommandsTest::databaseRestoreReplacesTheContent() {
    ModelHarness harness;
    harness.platform().now = fixedNow();
    AppModel& model = harness.model();
    harness.submit(receipt("rc-1"));
    model.createDatabaseBackup();
    const std::filesystem::path backup =
        harness.root() / "backups" / "Velmora-manual-20260727-083000.sqlite";
    harness.submit(receipt("rc-2"));
    model.refresh();
    QCOMPARE(model.tasks().size(), std::size_t(2));

    harness.platform().filePanels->nextChoice = qs(backup.string());
    model.restoreDatabaseBackup();
    const auto& open = harness.platform().filePanels->openRequests.at(0);
    QCOMPARE(open.title, QStringLiteral("选择 Velmora 数据库备份"));
    QCOMPARE(open.allowedType, PanelFileType::sqliteDatabase);
    QCOMPARE(harness.platform().alerts->requests.at(0).messageText,
             QStringLiteral("用这份数据库备份恢复？"));
    QVERIFY(harness.platform().alerts->requests.at(0).informativeText.endsWith(
        QStringLiteral("\n\n当前数据库会先保存为安全副本。来源数据库将经过版本和完整性检查；"
                       "失败时会自动尝试回滚。")));

    const std::filesystem::path safety =
        harness.root() / "backups" / "Velmora-before-database-restore-20260727-083000.sqlite";
    QCOMPARE(model.notice()->title, QStringLiteral("数据库备份已恢复"));
    QCOMPARE(model.notice()->message,
             model.currentDataContext() + QStringLiteral("\n来源备份：") + qs(backup.string()) +
                 QStringLiteral("\n恢复前安全副本：") + qs(safety.string()));
    // The restore was copied into this very connection: the refresh still sees it.
    QCOMPARE(model.tasks().size(), std::size_t(1));

    // Declined: nothing happens.
    model.dismissNotice();
    harness.platform().alerts->nextAnswer = false;
    model.restoreDatabaseBackup();
    QVERIFY(!model.notice());
}

void AppModelDataCommandsTest::databaseRestoreFailureIsReported() {
    ModelHarness harness;
    AppModel& model = harness.model();
    harness.submit(receipt("rc-1"));
    model.refresh();
    harness.platform().filePanels->nextChoice = qs(harness.database().string());
    model.restoreDatabaseBackup();
    QCOMPARE(model.notice()->title, QStringLiteral("没有恢复数据库备份"));
    QCOMPARE(model.notice()->message, QStringLiteral("不能使用当前任务数据库作为备份或恢复来源：") +
                                          qs(harness.database().string()));
    QCOMPARE(model.tasks().size(), std::size_t(1));
}

QTEST_GUILESS_MAIN(AppModelDataCommandsTest)
#include "AppModelDataCommandsTest.moc"
