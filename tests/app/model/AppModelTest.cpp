// The app model driven through its public operations, with fake platform
// services and no window.

#include <sqlite3.h>

#include <QSignalSpy>
#include <QTest>
#include <fstream>

#include "AppModelFixture.h"
#include "core/handback/ResumeMessageBuilder.h"

using namespace kestrin;
using namespace kestrin::testing;
using namespace std::chrono_literals;

namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

void writeFile(const std::filesystem::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

const QString& noticeTitle(AppModel& model) {
    return model.notice()->title;
}
const QString& noticeMessage(AppModel& model) {
    return model.notice()->message;
}

ReceiptSpec twoItemReceipt(const std::string& id, const std::string& project) {
    ReceiptSpec draft;
    draft.receiptID = id;
    draft.project = project;
    draft.items = {{"item-a", "Item A of " + id}, {"item-b", "Item B of " + id}};
    return draft;
}

// Submits `draft`, loads it and ticks the only step of its first item: a task
// ready to be handed back. Returns that task's key.
std::string submitWorkedTask(ModelHarness& harness, const ReceiptSpec& draft) {
    harness.submitAndLoad(draft);
    const std::string key = taskKey(draft.receiptID, draft.items.front().id);
    harness.model().setStep(key, "step-1", true);
    harness.turnEventLoop();
    return key;
}

}  // namespace

class AppModelTest : public QObject {
    Q_OBJECT

private slots:
    void startUpFailureLeavesAnEmptyModelThatDoesNothing();
    void startUpAsksForNotificationsOnlyWhereAvailable();
    void windowTitleNamesTheDataEnvironment();

    void refreshAssignsOnlyWhatChanged();
    void refreshSeesWritesOfOtherConnectionsAndItsOwn();
    void refreshWakesSnoozedTasksWithoutAnyWrite();
    void skippedRowsNoticeIsShownOncePerKey();
    void refreshFailureKeepsTheListsAndReportsIt();

    void selectionIsReconciledAfterRefresh();
    void projectSelectionFallsBackToAttention();
    void selectedTaskFallsBackToTheFirstVisibleTask();
    void updateTaskSelectionKeepsOrReplacesTheDetailKey();
    void searchIsTrimmedLowerCasedAndLimitedToSixFields();
    void historySelectionShowsNoTasks();

    void watchingStartsTheTimerAndScansSilently();
    void ticksScanOnlyWhileWatchingAndVisible();
    void manualScanOfAnEmptyInboxReports();
    void silentScanWithAcceptedFilesOnlyNotifies();
    void scanWithARejectedFileListsEveryFile();
    void scanFailureIsReportedOnlyWhenNotSilent();
    void importFilesReportsEachFile();

    void clipboardWithoutText();
    void clipboardWithAnEmptyJSONObject();
    void clipboardWithAValidReceipt();

    void stepAndStatusChangesRefreshAfterTheEventLoopTurns();
    void failedStepAndStatusChangesAreReportedAndStillRefresh();
    void deleteRemovesOnlySelectedVisibleTasks();
    void deleteWithNothingVisibleOnlyClosesTheConfirmation();
    void deleteFailureKeepsTheSelection();

    void copyResumeMessageCopiesAndMarksReady();
    void copyAndReturnRefusesWhileStepsAreOpen();
    void copyAndReturnWithoutALinkExplains();
    void copyAndReturnOpensTheThread();
    void copyAndReturnWhenTheLinkIsRefused();
    void openCodexExplainsWhenItIsMissing();
};

// ---- Start-up ----

void AppModelTest::startUpFailureLeavesAnEmptyModelThatDoesNothing() {
    QTemporaryDir directory;
    const std::filesystem::path blocker = directory.path().toStdString() + "/file";
    writeFile(blocker, "not a directory");
    const std::filesystem::path root = blocker / "data";
    ModelHarness harness({{"KESTRIN_HOME", root.string()}});
    AppModel& model = harness.model();

    const auto expected = AppPaths(root).ensureDirectories();
    QVERIFY(!expected);
    QVERIFY(model.notice());
    QCOMPARE(noticeTitle(model), QStringLiteral("无法启动本地任务库"));
    QCOMPARE(noticeMessage(model), qs(expected.error().description()));
    QVERIFY(!model.paths());
    QVERIFY(model.tasks().empty());
    QVERIFY(model.history().empty());
    QCOMPARE(harness.platform().notifications->authorizationRequests, 0);
    QCOMPARE(model.windowTitle(), QStringLiteral("Velmora · 自定义任务库"));
    QCOMPARE(model.currentDataContext(),
             QStringLiteral("当前环境：自定义任务库\n当前数据库：数据库尚未连接"));

    // Scans, imports and data commands do nothing, not even a notice.
    model.dismissNotice();
    model.scanInbox(false);
    model.importFiles({blocker});
    harness.platform().pasteboard->content = QStringLiteral("{}");
    model.importFromPasteboard();
    model.exportArchive();
    model.restoreArchive();
    model.createDatabaseBackup();
    model.restoreDatabaseBackup();
    model.setStep("rc-1::item-1", "step-1", true);
    QVERIFY(!model.notice());
    QVERIFY(harness.platform().filePanels->saveRequests.isEmpty());
    QVERIFY(harness.platform().filePanels->openRequests.isEmpty());
    harness.turnEventLoop();

    // ... except that an empty clipboard is still reported.
    harness.platform().pasteboard->content.reset();
    model.importFromPasteboard();
    QCOMPARE(noticeTitle(model), QStringLiteral("剪贴板没有 JSON"));
}

void AppModelTest::startUpAsksForNotificationsOnlyWhereAvailable() {
    ModelHarness harness;
    QCOMPARE(harness.platform().notifications->authorizationRequests, 1);
    QVERIFY(!harness.model().notice());
    QVERIFY(harness.model().paths());
    QCOMPARE(harness.model().paths()->root(), harness.root());
    QVERIFY(std::filesystem::is_directory(harness.inbox()));
}

void AppModelTest::windowTitleNamesTheDataEnvironment() {
    // KESTRIN_HOME inside a temporary directory: the isolated test store.
    ModelHarness temporary;
    QCOMPARE(temporary.model().windowTitle(), QStringLiteral("Velmora · 隔离测试库"));
    QCOMPARE(
        temporary.model().currentDataContext(),
        QStringLiteral("当前环境：隔离测试库\n当前数据库：") + qs(temporary.database().string()));

    // No KESTRIN_HOME: the default directory under the per-user data location.
    QTemporaryDir dataHome;
    ModelHarness standard({{"XDG_DATA_HOME", dataHome.path().toStdString()},
                           {"HOME", dataHome.path().toStdString()}});
    QCOMPARE(standard.model().windowTitle(), QStringLiteral("Velmora · 正式任务库"));
}

// ---- Refresh ----

void AppModelTest::refreshAssignsOnlyWhatChanged() {
    ModelHarness harness;
    AppModel& model = harness.model();
    QSignalSpy tasksSpy(&model, &AppModel::tasksChanged);
    QSignalSpy historySpy(&model, &AppModel::historyChanged);

    model.refresh();
    QCOMPARE(tasksSpy.count(), 0);
    QCOMPARE(historySpy.count(), 0);

    harness.submitAndLoad(twoItemReceipt("rc-1", "alpha"));
    QCOMPARE(tasksSpy.count(), 1);
    QCOMPARE(historySpy.count(), 1);
    QCOMPARE(model.tasks().size(), std::size_t(2));
    QCOMPARE(model.history().size(), std::size_t(1));

    model.refresh();
    model.refresh();
    QCOMPARE(tasksSpy.count(), 1);
    QCOMPARE(historySpy.count(), 1);

    // A receipt without items changes the history only.
    ReceiptSpec noAction;
    noAction.receiptID = "rc-empty";
    noAction.items.clear();
    harness.submitAndLoad(noAction);
    QCOMPARE(tasksSpy.count(), 1);
    QCOMPARE(historySpy.count(), 2);
}

void AppModelTest::refreshSeesWritesOfOtherConnectionsAndItsOwn() {
    ModelHarness harness;
    AppModel& model = harness.model();
    harness.submitAndLoad(twoItemReceipt("rc-1", "alpha"));
    const std::string key = taskKey("rc-1", "item-a");

    // Another connection changes a status: no import, one row.
    QVERIFY(harness.otherStore().setStatus(key, TaskStatus::waitingExternal, std::nullopt).ok());
    model.refresh();
    QCOMPARE(harness.task(key).status, TaskStatus::waitingExternal);

    // The model's own write.
    model.setStatus(key, TaskStatus::completed, std::nullopt);
    harness.turnEventLoop();
    QCOMPARE(harness.task(key).status, TaskStatus::completed);

    // A raw write from yet another connection, with no store involved.
    harness.executeSQL("UPDATE tasks SET status = 'cancelled' WHERE task_key = '" + key + "';");
    model.refresh();
    QCOMPARE(harness.task(key).status, TaskStatus::cancelled);
}

void AppModelTest::refreshWakesSnoozedTasksWithoutAnyWrite() {
    ModelHarness harness;
    AppModel& model = harness.model();
    harness.submitAndLoad(twoItemReceipt("rc-1", "alpha"));
    const std::string key = taskKey("rc-1", "item-a");
    const Timestamp start = harness.platform().now;

    model.setStatus(key, TaskStatus::snoozed, start + 15min);
    harness.turnEventLoop();
    QCOMPARE(harness.task(key).status, TaskStatus::snoozed);

    harness.platform().now = start + 14min;
    model.refresh();
    QCOMPARE(harness.task(key).status, TaskStatus::snoozed);

    // The time comes; nobody writes, the listing itself wakes the task.
    harness.platform().now = start + 15min;
    QSignalSpy tasksSpy(&model, &AppModel::tasksChanged);
    model.refresh();
    QCOMPARE(tasksSpy.count(), 1);
    QCOMPARE(harness.task(key).status, TaskStatus::pending);
    QVERIFY(!harness.task(key).snoozedUntil);
}

void AppModelTest::skippedRowsNoticeIsShownOncePerKey() {
    ModelHarness harness;
    AppModel& model = harness.model();
    harness.submit(twoItemReceipt("rc-1", "alpha"));
    harness.executeSQL("UPDATE tasks SET status = 'unknown' WHERE task_key = 'rc-1::item-a';");
    model.refresh();
    QVERIFY(model.notice());
    QCOMPARE(noticeTitle(model), QStringLiteral("部分记录无法解析"));
    QCOMPARE(noticeMessage(model),
             QStringLiteral("任务库中有 1 条记录无法被当前版本读取（可能由更新版本的 App "
                            "写入）。其余功能不受影响；这些记录已从列表中隐藏。"));
    QCOMPARE(model.tasks().size(), std::size_t(1));

    // The same pair (1 skipped, 1 loaded) never shows it again, even after a reload.
    model.dismissNotice();
    harness.executeSQL("UPDATE tasks SET status = 'pending' WHERE task_key = 'rc-1::item-b';");
    model.refresh();
    QVERIFY(!model.notice());

    // More loaded tasks: a new pair.
    harness.submitAndLoad(twoItemReceipt("rc-2", "alpha"));
    QVERIFY(model.notice());
    QCOMPARE(noticeTitle(model), QStringLiteral("部分记录无法解析"));
    model.dismissNotice();

    // Back to 0 skipped keeps the key, so the same pair again stays quiet.
    harness.executeSQL("UPDATE tasks SET status = 'pending' WHERE task_key = 'rc-1::item-a';");
    model.refresh();
    QVERIFY(!model.notice());
    harness.executeSQL("UPDATE tasks SET status = 'unknown' WHERE task_key = 'rc-1::item-a';");
    model.refresh();
    QVERIFY(!model.notice());

    // Two skipped rows: a new pair again.
    harness.executeSQL("UPDATE tasks SET status = 'unknown' WHERE task_key = 'rc-2::item-a';");
    model.refresh();
    QVERIFY(model.notice());
    QVERIFY(noticeMessage(model).startsWith(QStringLiteral("任务库中有 2 条记录")));
}

void AppModelTest::refreshFailureKeepsTheListsAndReportsIt() {
    ModelHarness harness;
    AppModel& model = harness.model();
    harness.submitAndLoad(twoItemReceipt("rc-1", "alpha"));
    QSignalSpy tasksSpy(&model, &AppModel::tasksChanged);

    // Another program commits a change, then holds the write lock past the
    // busy timeout: the snooze wake-up that starts every listing cannot run.
    harness.executeSQL("UPDATE tasks SET status = 'in_progress' WHERE task_key = 'rc-1::item-a';");
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(harness.database().c_str(), &db), SQLITE_OK);
    QCOMPARE(sqlite3_exec(db, "BEGIN IMMEDIATE; UPDATE tasks SET status = 'completed';", nullptr,
                          nullptr, nullptr),
             SQLITE_OK);
    model.refresh();
    sqlite3_exec(db, "ROLLBACK;", nullptr, nullptr, nullptr);
    sqlite3_close(db);

    QVERIFY(model.notice());
    QCOMPARE(noticeTitle(model), QStringLiteral("无法读取任务"));
    QVERIFY(noticeMessage(model).startsWith(QStringLiteral("任务数据库操作失败：")));
    QCOMPARE(tasksSpy.count(), 0);
    QCOMPARE(model.tasks().size(), std::size_t(2));

    // The next refresh reads again instead of trusting the failed one.
    harness.submitAndLoad(twoItemReceipt("rc-2", "beta"));
    QCOMPARE(model.tasks().size(), std::size_t(4));
}

// ---- Selection and search ----

void AppModelTest::selectionIsReconciledAfterRefresh() {
    ModelHarness harness;
    AppModel& model = harness.model();
    harness.submitAndLoad(twoItemReceipt("rc-1", "alpha"));
    const std::string a = taskKey("rc-1", "item-a");
    const std::string b = taskKey("rc-1", "item-b");
    model.updateTaskSelection({a, b});
    model.setSelectedTaskKey(b);

    // Another program deletes b: it leaves the multi-selection and the detail.
    QVERIFY(harness.otherStore().deleteTask(b).ok());
    model.refresh();
    QCOMPARE(model.selectedTaskKeys(), TaskKeySet{a});
    QCOMPARE(model.selectedTaskKey(), OptionalTaskKey(a));

    // A key snoozed out of the attention filter stays in the multi-selection.
    harness.submitAndLoad(twoItemReceipt("rc-2", "alpha"));
    model.updateTaskSelection({a, taskKey("rc-2", "item-a")});
    model.setStatus(a, TaskStatus::snoozed, harness.platform().now + 1h);
    harness.turnEventLoop();
    QCOMPARE(model.selectedTaskKeys(), (TaskKeySet{a, taskKey("rc-2", "item-a")}));
    QCOMPARE(model.selectedVisibleTaskKeys(), TaskKeySet{taskKey("rc-2", "item-a")});
    QVERIFY(model.selectedTaskKey() != OptionalTaskKey(a));
}

void AppModelTest::projectSelectionFallsBackToAttention() {
    ModelHarness harness;
    AppModel& model = harness.model();
    ReceiptSpec draft;
    draft.project = "X";
    harness.submit(draft);
    harness.submitAndLoad(twoItemReceipt("rc-2", "Y"));
    model.setSelection(SidebarSelection::project("X"));
    QCOMPARE(harness.visibleKeys(), std::vector<std::string>{taskKey("rc-1", "item-1")});

    QSignalSpy selectionSpy(&model, &AppModel::selectionChanged);
    model.setStatus(taskKey("rc-1", "item-1"), TaskStatus::completed, std::nullopt);
    harness.turnEventLoop();
    QCOMPARE(selectionSpy.count(), 1);
    QCOMPARE(model.selection(), SidebarSelection::attention());

    // A project that still has a snoozed task stays selected.
    model.setSelection(SidebarSelection::project("Y"));
    model.setStatus(taskKey("rc-2", "item-a"), TaskStatus::snoozed, harness.platform().now + 1h);
    model.setStatus(taskKey("rc-2", "item-b"), TaskStatus::cancelled, std::nullopt);
    harness.turnEventLoop();
    QCOMPARE(model.selection(), SidebarSelection::project("Y"));
}

void AppModelTest::selectedTaskFallsBackToTheFirstVisibleTask() {
    ModelHarness harness;
    AppModel& model = harness.model();
    QVERIFY(!model.selectedTask());
    harness.submitAndLoad(twoItemReceipt("rc-1", "alpha"));
    const std::string first = harness.visibleKeys().front();
    QCOMPARE(model.selectedTaskKey(), OptionalTaskKey(first));

    // An unknown detail key: the multi-selection's task, else the first one.
    const std::string second = harness.visibleKeys().back();
    model.setSelectedTaskKey(std::string("gone"));
    model.setSelectedTaskKeys({second});
    QCOMPARE(model.selectedTask()->taskKey, second);
    QCOMPARE(model.selectedTaskKey(), OptionalTaskKey("gone"));

    model.setSelectedTaskKeys({});
    QSignalSpy keySpy(&model, &AppModel::selectedTaskKeyChanged);
    QCOMPARE(model.selectedTask()->taskKey, first);
    QCOMPARE(model.selectedTaskKey(), OptionalTaskKey(first));
    QCOMPARE(keySpy.count(), 1);
}

void AppModelTest::updateTaskSelectionKeepsOrReplacesTheDetailKey() {
    ModelHarness harness;
    AppModel& model = harness.model();
    model.setSelectedTaskKey(std::string("b"));
    model.updateTaskSelection({"a", "b"});
    QCOMPARE(model.selectedTaskKey(), OptionalTaskKey("b"));
    model.updateTaskSelection({"c"});
    QCOMPARE(model.selectedTaskKey(), OptionalTaskKey("c"));
    model.updateTaskSelection({});
    QCOMPARE(model.selectedTaskKey(), OptionalTaskKey());
    QVERIFY(model.selectedTaskKeys().empty());
}

void AppModelTest::searchIsTrimmedLowerCasedAndLimitedToSixFields() {
    ModelHarness harness;
    AppModel& model = harness.model();
    ReceiptSpec claude;
    claude.receiptID = "rc-claude";
    claude.agent = "claude_code";
    claude.items = {
        {"item-i", "Rotate logs", "physical", "medium", {{"step-1", 1, "echo secretcommand"}}}};
    ReceiptSpec codex;
    codex.receiptID = "rc-codex";
    codex.project = "Zeta";
    codex.taskTitle = "Nightly build";
    codex.items = {{"item-i", "Type the password", "terminal"}};
    harness.submit(claude);
    harness.submitAndLoad(codex);
    model.setSelection(SidebarSelection::all());

    const auto matches = [&](const QString& text) {
        model.setSearchText(text);
        return harness.visibleKeys();
    };
    const std::vector<std::string> claudeOnly{"rc-claude::item-i"};
    const std::vector<std::string> codexOnly{"rc-codex::item-i"};
    QCOMPARE(matches(QStringLiteral("  Claude \n")), claudeOnly);       // agent display name
    QCOMPARE(matches(QStringLiteral("终端")), codexOnly);               // category "终端命令"
    QCOMPARE(matches(QStringLiteral("zeta")), codexOnly);               // project name
    QCOMPARE(matches(QStringLiteral("NIGHTLY")), codexOnly);            // agent task title
    QCOMPARE(matches(QStringLiteral("reason of rotate")), claudeOnly);  // item reason
    QCOMPARE(matches(QStringLiteral("secretcommand")), std::vector<std::string>{});  // step command
    QCOMPARE(matches(QStringLiteral("Summary")), std::vector<std::string>{});  // receipt summary
    QCOMPARE(matches(QStringLiteral("   ")).size(), std::size_t(2));           // blank: no filter

    // The filter still applies on top of the search.
    model.setSelection(SidebarSelection::status(TaskStatus::completed));
    QCOMPARE(matches(QStringLiteral("claude")), std::vector<std::string>{});
}

void AppModelTest::historySelectionShowsNoTasks() {
    ModelHarness harness;
    AppModel& model = harness.model();
    harness.submitAndLoad(twoItemReceipt("rc-1", "alpha"));
    model.setSelection(SidebarSelection::history());
    QVERIFY(model.visibleTasks().empty());
    QVERIFY(!model.selectedTask());
    model.refresh();
    QCOMPARE(model.selectedTaskKey(), OptionalTaskKey());
}

// ---- Watching and scanning ----

void AppModelTest::watchingStartsTheTimerAndScansSilently() {
    ModelHarness harness;
    AppModel& model = harness.model();
    FakeRepeatingTimer& timer = *harness.platform().timer;
    harness.submit(twoItemReceipt("rc-1", "alpha"));  // unseen until a scan refreshes

    model.startWatching();
    QVERIFY(timer.isRunning());
    QCOMPARE(timer.interval, 3000ms);
    QCOMPARE(timer.tolerance, 500ms);
    QCOMPARE(model.tasks().size(), std::size_t(2));
    QVERIFY(!model.notice());

    model.startWatching();  // already running: nothing
    QCOMPARE(timer.startCount, 1);

    QSignalSpy watchingSpy(&model, &AppModel::isWatchingChanged);
    model.setWatching(false);
    QVERIFY(!timer.isRunning());
    QCOMPARE(watchingSpy.count(), 1);

    // Back from the background with watching off: no timer.
    model.enterBackground();
    model.enterForeground();
    QVERIFY(!timer.isRunning());
    model.setWatching(true);
    QVERIFY(timer.isRunning());
    model.enterBackground();
    QVERIFY(!timer.isRunning());
    QVERIFY(!model.windowVisible());
    model.enterForeground();
    QVERIFY(timer.isRunning());
    QVERIFY(model.windowVisible());
}

void AppModelTest::ticksScanOnlyWhileWatchingAndVisible() {
    ModelHarness harness;
    AppModel& model = harness.model();
    model.startWatching();
    harness.submit(twoItemReceipt("rc-1", "alpha"));

    model.setWindowVisible(false);
    harness.platform().timer->fire();
    QVERIFY(model.tasks().empty());

    model.setWindowVisible(true);
    harness.platform().timer->fire();
    QCOMPARE(model.tasks().size(), std::size_t(2));
}

void AppModelTest::manualScanOfAnEmptyInboxReports() {
    ModelHarness harness;
    AppModel& model = harness.model();
    model.scanInbox(true);
    QVERIFY(!model.notice());
    model.setWatching(false);
    model.scanInbox(false);
    QCOMPARE(noticeTitle(model), QStringLiteral("收件箱已检查"));
    QCOMPARE(noticeMessage(model), QStringLiteral("当前没有新的 JSON 回执。"));
}

void AppModelTest::silentScanWithAcceptedFilesOnlyNotifies() {
    ModelHarness harness;
    AppModel& model = harness.model();
    writeFile(harness.inbox() / "a.json", receiptJSON(twoItemReceipt("rc-1", "alpha")));
    ReceiptSpec noAction;
    noAction.receiptID = "rc-none";
    noAction.items.clear();
    writeFile(harness.inbox() / "b.json", receiptJSON(noAction));

    model.scanInbox(true);
    QVERIFY(!model.notice());
    QCOMPARE(model.tasks().size(), std::size_t(2));
    const auto& posted = harness.platform().notifications->posted;
    QCOMPARE(posted.size(), 1);
    QCOMPARE(posted[0],
             (DesktopNotification{QStringLiteral("rc-1-v1"), QStringLiteral("alpha 需要你介入"),
                                  QStringLiteral("Item A of rc-1、Item B of rc-1")}));

    // Where notifications are unavailable nothing is posted.
    harness.platform().notifications->available = false;
    writeFile(harness.inbox() / "c.json", receiptJSON(twoItemReceipt("rc-2", "beta")));
    model.scanInbox(true);
    QCOMPARE(posted.size(), 1);
    QCOMPARE(model.tasks().size(), std::size_t(4));
}

void AppModelTest::scanWithARejectedFileListsEveryFile() {
    ModelHarness harness;
    AppModel& model = harness.model();
    writeFile(harness.inbox() / "a.json", receiptJSON(twoItemReceipt("rc-1", "alpha")));
    writeFile(harness.inbox() / "b.json", "caf\xe9");
    model.scanInbox(true);
    QVERIFY(model.notice());
    QCOMPARE(noticeTitle(model), QStringLiteral("收件箱处理完成"));
    QCOMPARE(noticeMessage(model), QStringLiteral("a.json：已导入 2 个人工介入事项。\n"
                                                  "b.json：已拒收，回执必须是 UTF-8 JSON 文本。"));
    QCOMPARE(harness.platform().notifications->posted.size(), 1);

    // A manual scan reports accepted files as well.
    writeFile(harness.inbox() / "c.json", receiptJSON(twoItemReceipt("rc-1", "alpha")));
    model.scanInbox(false);
    QCOMPARE(noticeMessage(model), QStringLiteral("c.json：这张回执已经导入，没有创建重复事项。"));
    QCOMPARE(harness.platform().notifications->posted.size(), 1);
}

void AppModelTest::scanFailureIsReportedOnlyWhenNotSilent() {
    ModelHarness harness;
    AppModel& model = harness.model();
    std::filesystem::remove_all(harness.inbox());
    writeFile(harness.inbox(), "a file where the inbox should be");
    model.scanInbox(true);
    QVERIFY(!model.notice());
    model.scanInbox(false);
    QVERIFY(model.notice());
    QCOMPARE(noticeTitle(model), QStringLiteral("无法扫描收件箱"));
    const auto expected = AppPaths(harness.root()).ensureDirectories();
    QVERIFY(!expected);
    QCOMPARE(noticeMessage(model), qs(expected.error().description()));
}

void AppModelTest::importFilesReportsEachFile() {
    ModelHarness harness;
    AppModel& model = harness.model();
    QTemporaryDir elsewhere;
    const std::filesystem::path good = elsewhere.path().toStdString() + "/good.json";
    const std::filesystem::path missing = elsewhere.path().toStdString() + "/missing.json";
    writeFile(good, receiptJSON(twoItemReceipt("rc-1", "alpha")));

    model.importFiles({good, missing});
    QCOMPARE(noticeTitle(model), QStringLiteral("导入结果"));
    ReceiptImporter importer(harness.otherStore());
    const auto readFailure = importer.importFile(missing);
    QVERIFY(!readFailure);
    QCOMPARE(noticeMessage(model),
             QStringLiteral("good.json：已导入 2 个人工介入事项。\nmissing.json：") +
                 qs(readFailure.error().description()));
    QCOMPARE(model.tasks().size(), std::size_t(2));
    QCOMPARE(harness.platform().notifications->posted.size(), 1);
    QVERIFY(std::filesystem::exists(good));  // chosen files stay where they are
}

// ---- Clipboard ----

void AppModelTest::clipboardWithoutText() {
    ModelHarness harness;
    harness.model().importFromPasteboard();
    QCOMPARE(noticeTitle(harness.model()), QStringLiteral("剪贴板没有 JSON"));
    QCOMPARE(noticeMessage(harness.model()),
             QStringLiteral("先从 Agent 复制完整的回执 JSON，再回到这里导入。"));
}

void AppModelTest::clipboardWithAnEmptyJSONObject() {
    ModelHarness harness;
    harness.platform().pasteboard->content = QStringLiteral("{}");
    harness.model().importFromPasteboard();
    const auto expected = ReceiptImporter(harness.otherStore()).importData("{}");
    QVERIFY(!expected);
    QCOMPARE(noticeTitle(harness.model()), QStringLiteral("剪贴板回执被拒收"));
    QCOMPARE(noticeMessage(harness.model()), qs(expected.error().description()));

    // An empty text is a text: it goes to the importer too.
    harness.platform().pasteboard->content = QString();
    harness.model().importFromPasteboard();
    QCOMPARE(noticeTitle(harness.model()), QStringLiteral("剪贴板回执被拒收"));
}

void AppModelTest::clipboardWithAValidReceipt() {
    ModelHarness harness;
    harness.platform().pasteboard->content = qs(receiptJSON(twoItemReceipt("rc-1", "alpha")));
    harness.model().importFromPasteboard();
    QCOMPARE(noticeTitle(harness.model()), QStringLiteral("剪贴板导入完成"));
    QCOMPARE(noticeMessage(harness.model()), QStringLiteral("已导入 2 个人工介入事项。"));
    QCOMPARE(harness.model().tasks().size(), std::size_t(2));
    QCOMPARE(harness.platform().notifications->posted.size(), 1);
}

// ---- Task changes ----

void AppModelTest::stepAndStatusChangesRefreshAfterTheEventLoopTurns() {
    ModelHarness harness;
    AppModel& model = harness.model();
    harness.submitAndLoad(twoItemReceipt("rc-1", "alpha"));
    const std::string key = taskKey("rc-1", "item-a");

    model.setStep(key, "step-1", true);
    QCOMPARE(harness.task(key).status, TaskStatus::pending);  // not before the loop turns
    harness.turnEventLoop();
    QCOMPARE(harness.task(key).status, TaskStatus::inProgress);
    QCOMPARE(harness.task(key).completedStepIDs, std::set<std::string>{"step-1"});

    model.setStep(key, "step-1", false);
    harness.turnEventLoop();
    QVERIFY(harness.task(key).completedStepIDs.empty());

    const Timestamp until = harness.platform().now + 1h;
    model.setStatus(key, TaskStatus::snoozed, until);
    harness.turnEventLoop();
    QCOMPARE(harness.task(key).status, TaskStatus::snoozed);
    QCOMPARE(harness.task(key).snoozedUntil, std::optional<Timestamp>(until));
    QVERIFY(!model.notice());
}

void AppModelTest::failedStepAndStatusChangesAreReportedAndStillRefresh() {
    ModelHarness harness;
    AppModel& model = harness.model();
    harness.submit(twoItemReceipt("rc-1", "alpha"));

    model.setStep("rc-1::gone", "step-1", true);
    QCOMPARE(noticeTitle(model), QStringLiteral("无法更新步骤"));
    QCOMPARE(noticeMessage(model), QStringLiteral("找不到任务：rc-1::gone"));
    QCOMPARE(harness.platform().deferredCalls->pending.size(), std::size_t(1));
    harness.turnEventLoop();
    QCOMPARE(model.tasks().size(), std::size_t(2));  // the refresh ran all the same

    model.setStatus("rc-1::gone", TaskStatus::completed, std::nullopt);
    QCOMPARE(noticeTitle(model), QStringLiteral("无法更新状态"));
    QCOMPARE(noticeMessage(model), QStringLiteral("找不到任务：rc-1::gone"));
    QCOMPARE(harness.platform().deferredCalls->pending.size(), std::size_t(1));
}

void AppModelTest::deleteRemovesOnlySelectedVisibleTasks() {
    ModelHarness harness;
    AppModel& model = harness.model();
    harness.submitAndLoad(twoItemReceipt("rc-1", "alpha"));
    const std::string a = taskKey("rc-1", "item-a");
    const std::string b = taskKey("rc-1", "item-b");
    model.updateTaskSelection({a, b});
    model.setStatus(a, TaskStatus::snoozed, harness.platform().now + 1h);
    harness.turnEventLoop();
    model.setShowingDeleteConfirmation(true);

    model.deleteSelectedTasks();
    QCOMPARE(noticeTitle(model), QStringLiteral("已删除 1 项"));
    QCOMPARE(noticeMessage(model),
             QStringLiteral("任务已从当前列表永久删除；对应回执仍保留在“回执历史”中。"));
    QVERIFY(!model.isShowingDeleteConfirmation());
    QVERIFY(model.selectedTaskKeys().empty());
    harness.turnEventLoop();
    QCOMPARE(model.tasks().size(), std::size_t(1));
    QCOMPARE(model.tasks().front().taskKey, a);
    QCOMPARE(model.history().size(), std::size_t(1));
}

void AppModelTest::deleteWithNothingVisibleOnlyClosesTheConfirmation() {
    ModelHarness harness;
    AppModel& model = harness.model();
    harness.submitAndLoad(twoItemReceipt("rc-1", "alpha"));
    model.updateTaskSelection({taskKey("rc-1", "item-a")});
    model.setSelection(SidebarSelection::status(TaskStatus::completed));
    model.setShowingDeleteConfirmation(true);
    model.deleteSelectedTasks();
    QVERIFY(!model.isShowingDeleteConfirmation());
    QVERIFY(!model.notice());
    QCOMPARE(model.selectedTaskKeys(), TaskKeySet{taskKey("rc-1", "item-a")});
    harness.turnEventLoop();
    QCOMPARE(model.tasks().size(), std::size_t(2));
}

void AppModelTest::deleteFailureKeepsTheSelection() {
    ModelHarness harness;
    AppModel& model = harness.model();
    harness.submitAndLoad(twoItemReceipt("rc-1", "alpha"));
    const TaskKeySet both{taskKey("rc-1", "item-a"), taskKey("rc-1", "item-b")};
    model.updateTaskSelection(both);
    QVERIFY(harness.otherStore().deleteTask(taskKey("rc-1", "item-b")).ok());  // not refreshed yet
    model.setShowingDeleteConfirmation(true);

    model.deleteSelectedTasks();
    QCOMPARE(noticeTitle(model), QStringLiteral("无法删除事项"));
    QCOMPARE(noticeMessage(model), QStringLiteral("找不到任务：rc-1::item-b"));
    QVERIFY(!model.isShowingDeleteConfirmation());
    QCOMPARE(model.selectedTaskKeys(), both);
    QVERIFY(harness.platform().deferredCalls->pending.empty());
    QVERIFY(harness.otherStore().task(taskKey("rc-1", "item-a")).ok());  // all or nothing
}

// ---- Hand-back ----

void AppModelTest::copyResumeMessageCopiesAndMarksReady() {
    ModelHarness harness;
    AppModel& model = harness.model();
    harness.submitAndLoad(twoItemReceipt("rc-1", "alpha"));
    const TaskRecord task = harness.task(taskKey("rc-1", "item-a"));
    model.setNote(task.taskKey, QStringLiteral("  已重启服务  "));
    QCOMPARE(model.note(task.taskKey), QStringLiteral("  已重启服务  "));

    model.copyResumeMessage(task);
    QCOMPARE(harness.platform().pasteboard->content,
             std::optional<QString>(qs(ResumeMessageBuilder().build(task, "  已重启服务  "))));
    QVERIFY(
        harness.platform().pasteboard->content->contains(QStringLiteral("本人记录：已重启服务")));
    QVERIFY(!model.notice());
    harness.turnEventLoop();
    QCOMPARE(harness.task(task.taskKey).status, TaskStatus::readyToResume);
}

void AppModelTest::copyAndReturnRefusesWhileStepsAreOpen() {
    ModelHarness harness;
    AppModel& model = harness.model();
    harness.submitAndLoad(twoItemReceipt("rc-1", "alpha"));
    const TaskRecord task = harness.task(taskKey("rc-1", "item-a"));

    model.copyAndReturnToCodex(task);
    QCOMPARE(noticeTitle(model), QStringLiteral("还有步骤未完成"));
    QCOMPARE(noticeMessage(model), QStringLiteral("请按顺序完成并核对所有步骤，再生成恢复消息。"));
    QVERIFY(!harness.platform().pasteboard->content);
    QVERIFY(harness.platform().deferredCalls->pending.empty());
    QVERIFY(harness.platform().workspace->openedURLs.isEmpty());
}

void AppModelTest::copyAndReturnWithoutALinkExplains() {
    ModelHarness harness;
    AppModel& model = harness.model();
    ReceiptSpec draft = twoItemReceipt("rc-1", "alpha");
    draft.agent = "claude_code";
    const std::string key = submitWorkedTask(harness, draft);

    model.copyAndReturnToCodex(harness.task(key));
    QCOMPARE(noticeTitle(model), QStringLiteral("恢复消息已复制"));
    QCOMPARE(
        noticeMessage(model),
        QStringLiteral("当前仅支持自动返回 Codex；其他 Agent 请复制恢复消息后手动返回原任务。"));
    QVERIFY(harness.platform().pasteboard->content);
    QVERIFY(harness.platform().workspace->openedURLs.isEmpty());
    harness.turnEventLoop();
    QCOMPARE(harness.task(key).status, TaskStatus::readyToResume);
}

void AppModelTest::copyAndReturnOpensTheThread() {
    ModelHarness harness;
    AppModel& model = harness.model();
    ReceiptSpec draft = twoItemReceipt("rc-1", "alpha");
    draft.taskID = "3F2A9C1E-7B4D-4E8A-9C0F-1A2B3C4D5E6F";
    const std::string key = submitWorkedTask(harness, draft);

    model.copyAndReturnToCodex(harness.task(key));
    QCOMPARE(
        harness.platform().workspace->openedURLs,
        QList<QUrl>{QUrl(QStringLiteral("codex://threads/3f2a9c1e-7b4d-4e8a-9c0f-1a2b3c4d5e6f"))});
    QCOMPARE(noticeTitle(model), QStringLiteral("已复制，并已请求 Codex 打开任务"));
    QCOMPARE(
        noticeMessage(model),
        QStringLiteral("Codex 已接收深链接请求，但 Velmora 无法确认是否定位正确。请先核对当前"
                       "是否为原任务，然后按 Command-V 粘贴，检查恢复消息，最后按 Return 发送。"));
    QCOMPARE(harness.platform().workspace->codexOpenRequests, 0);
    QVERIFY(harness.platform().pasteboard->content);
    harness.turnEventLoop();
    QCOMPARE(harness.task(key).status, TaskStatus::readyToResume);
}

void AppModelTest::copyAndReturnWhenTheLinkIsRefused() {
    ModelHarness harness;
    AppModel& model = harness.model();
    ReceiptSpec draft = twoItemReceipt("rc-1", "alpha");
    draft.taskID = "3f2a9c1e-7b4d-4e8a-9c0f-1a2b3c4d5e6f";
    const std::string key = submitWorkedTask(harness, draft);
    harness.platform().workspace->acceptsURLs = false;

    model.copyAndReturnToCodex(harness.task(key));
    QCOMPARE(harness.platform().workspace->codexOpenRequests, 1);
    QCOMPARE(noticeTitle(model), QStringLiteral("恢复消息已复制，但未定位原任务"));
    QCOMPARE(noticeMessage(model),
             QStringLiteral("Codex 深链接没有成功打开。请在 Codex 中手动进入原任务，按 Command-V "
                            "粘贴并检查后，再按 Return 发送。"));
    QVERIFY(harness.platform().pasteboard->content);
}

void AppModelTest::openCodexExplainsWhenItIsMissing() {
    ModelHarness harness;
    AppModel& model = harness.model();
    model.openCodexOrExplain();
    QVERIFY(!model.notice());
    harness.platform().workspace->codexInstalled = false;
    model.openCodexOrExplain();
    QCOMPARE(noticeTitle(model), QStringLiteral("没有找到 Codex"));
    QCOMPARE(noticeMessage(model),
             QStringLiteral("请手动打开 Codex，再进入原任务并粘贴恢复消息。"));
}

QTEST_GUILESS_MAIN(AppModelTest)
#include "AppModelTest.moc"
