// The app model with fake platform services; another connection plays the server.

#include <sqlite3.h>
#include <sys/resource.h>

#include <QSignalSpy>
#include <QTest>
#include <csignal>

#include "app/model/PlatformTexts.h"
#include "core/handback/ResumeMessageBuilder.h"
#include "core/handback/ResumeMessageGuard.h"
#include "views/GuiHarness.h"

using namespace kestrin;
using namespace kestrin::testing;
using namespace std::chrono_literals;
using nlohmann::json;
using Edit = std::function<void(json&)>;
Q_DECLARE_METATYPE(Edit)
using Opener = std::function<void(GuiHarness&)>;
using LaunchFailure = std::optional<WorkspaceError>;
Q_DECLARE_METATYPE(Opener)
Q_DECLARE_METATYPE(LaunchFailure)

namespace {

const std::string A = "rc-1::item-1", B = "rc-1::item-2";

std::string two(const std::string& id, const std::string& project = "alpha") {
    return receiptOf(id, project, {"A of " + id, "B of " + id});
}

bool shows(GuiHarness& harness, const char* title) {
    return notice(harness).startsWith(QString::fromUtf8(title) + QStringLiteral(" | "));
}

std::size_t backupCount(GuiHarness& harness) {
    const auto directory = harness.root() / "backups";
    if (!std::filesystem::exists(directory)) return 0;
    return std::distance(std::filesystem::directory_iterator(directory), {});
}

DataCommandProgress progressAt(const QSignalSpy& spy, qsizetype index) {
    return spy.at(index < 0 ? spy.count() + index : index).at(0).value<DataCommandProgress>();
}

}  // namespace

class AppModelTest : public QObject {
    Q_OBJECT

private slots:
    void startUpFailureLeavesAModelThatDoesNothing() {
        QTemporaryDir directory;
        const std::filesystem::path blocker = directory.path().toStdString() + "/file";
        writeFile(blocker, "not a directory");
        GuiHarness harness({{"KESTRIN_HOME", (blocker / "data").string()}});
        AppModel& model = harness.model();
        const auto expected = AppPaths(blocker / "data").ensureDirectories();
        QCOMPARE(notice(harness),
                 QStringLiteral("无法启动本地任务库 | ") + qs(expected.error().description()));
        QCOMPARE(harness.platform().notifications->authorizationRequests, 0);
        QCOMPARE(model.currentDataContext(),
                 QStringLiteral("当前环境：自定义任务库\n当前数据库：数据库尚未连接"));
        model.dismissNotice();
        model.scanInbox(false);
        model.importFiles({blocker});
        harness.platform().pasteboard->content = QStringLiteral("{}");
        model.importFromPasteboard();
        model.exportArchive();
        model.restoreArchive();
        model.createDatabaseBackup();
        model.restoreDatabaseBackup();
        model.setStep(A, "step-1", true);
        harness.turn();
        QCOMPARE(notice(harness), QString());
        QVERIFY(model.tasks().empty() && model.history().empty());
        QVERIFY(harness.platform().filePanels->saveRequests.isEmpty());
        QVERIFY(harness.platform().filePanels->openRequests.isEmpty());
        harness.platform().pasteboard->content.reset();  // an empty clipboard is still reported
        model.importFromPasteboard();
        QCOMPARE(
            notice(harness),
            QStringLiteral("剪贴板没有 JSON | 先从 Agent 复制完整的回执 JSON，再回到这里导入。"));
        // A database that cannot be opened stops start-up the same way.
        const std::filesystem::path home = directory.path().toStdString() + "/home";
        std::filesystem::create_directories(home / "tasks.sqlite");
        GuiHarness unopenable({{"KESTRIN_HOME", home.string()}});
        QVERIFY(notice(unopenable).startsWith(QStringLiteral("无法启动本地任务库 | 无法打开任务数据库")));
        QCOMPARE(unopenable.platform().notifications->authorizationRequests, 0);
    }


    void startUpNamesTheDataEnvironment() {
        GuiHarness temporary;
        QCOMPARE(temporary.platform().notifications->authorizationRequests, 1);
        QCOMPARE(temporary.model().windowTitle(), QStringLiteral("Velmora · 隔离测试库"));
        QCOMPARE(temporary.model().currentDataContext(),
                 QStringLiteral("当前环境：隔离测试库\n当前数据库：") +
                     qs(temporary.database().string()));
        QTemporaryDir home;
        GuiHarness standard(
            {{"XDG_DATA_HOME", home.path().toStdString()}, {"HOME", home.path().toStdString()}});
        QCOMPARE(standard.model().windowTitle(), QStringLiteral("Velmora · 正式任务库"));
        standard.model().confirmRestore(QStringLiteral("t"), QStringLiteral("/s"),
                                        QStringLiteral("m"));
        QCOMPARE(standard.platform().alerts->requests.at(0).confirmButton,
                 QStringLiteral("恢复到正式任务库"));
    }

    void refreshAssignsOnlyWhatChangedSeesEveryWriterAndFollowsOwnChanges() {
        GuiHarness harness;
        AppModel& model = harness.model();
        QSignalSpy tasks(&model, &AppModel::tasksChanged);
        QSignalSpy history(&model, &AppModel::historyChanged);
        model.refresh();
        QCOMPARE(tasks.count() + history.count(), 0);
        harness.add(two("rc-1"));
        model.refresh();
        QCOMPARE(tasks.count(), 1);
        QCOMPARE(history.count(), 1);
        harness.add(receiptOf("rc-empty", "alpha", {}));  // history only
        QCOMPARE(tasks.count(), 1);
        QCOMPARE(history.count(), 2);
        harness.executeSQL("UPDATE tasks SET status = 'cancelled' WHERE task_key = '" + A + "';");
        model.refresh();
        QCOMPARE(model.tasks().size(), std::size_t(1));  // closed tasks are read by their views
        model.setSelection(SidebarSelection::status(TaskStatus::cancelled));
        QCOMPARE(harness.task(A).status, TaskStatus::cancelled);
        model.setSelection(SidebarSelection::attention());

        const Timestamp start = harness.platform().now;
        model.setStatus(A, TaskStatus::snoozed, start + 15min);
        harness.turn();
        harness.platform().now = start + 14min;
        model.refresh();
        QCOMPARE(harness.task(A).status, TaskStatus::snoozed);
        // The time comes; nobody writes, the listing itself wakes the task.
        harness.platform().now = start + 15min;
        tasks.clear();
        model.refresh();
        QCOMPARE(tasks.count(), 1);
        QCOMPARE(harness.task(A).status, TaskStatus::pending);
        // Steps and statuses set here refresh after the loop turns.
        model.setStep(A, "step-1", true);
        QCOMPARE(harness.task(A).status, TaskStatus::pending);  // not before the loop turns
        harness.turn();
        QCOMPARE(harness.task(A).status, TaskStatus::inProgress);
        QCOMPARE(harness.task(A).completedStepIDs, std::set<std::string>{"step-1"});
        model.setStep(A, "step-1", false);
        harness.turn();
        QVERIFY(harness.task(A).completedStepIDs.empty());
        QCOMPARE(notice(harness), QString());
        // Failures are reported and the refresh still runs.
        harness.submit(two("rc-2"));
        model.setStep("rc-1::gone", "step-1", true);
        QCOMPARE(notice(harness), QStringLiteral("无法更新步骤 | 找不到任务：rc-1::gone"));
        QCOMPARE(harness.platform().deferredCalls->pending.size(), std::size_t(1));
        harness.turn();
        QCOMPARE(model.tasks().size(), std::size_t(4));
        model.setStatus("rc-1::gone", TaskStatus::completed, std::nullopt);
        QVERIFY(shows(harness, "无法更新状态"));
        QCOMPARE(harness.platform().deferredCalls->pending.size(), std::size_t(1));
    }

    void skippedRowsNoticeIsShownOncePerKey() {
        GuiHarness harness;
        const auto set = [&](const std::string& key, const char* status) {
            harness.executeSQL(std::string("UPDATE tasks SET status = '") + status +
                               "' WHERE task_key = '" + key + "';");
            harness.model().refresh();
            const QString shown = notice(harness);
            harness.model().dismissNotice();
            return shown;
        };
        harness.submit(two("rc-1"));
        QCOMPARE(set(A, "unknown"),
                 QStringLiteral(
                     "部分记录无法解析 | 任务库中有 1 条记录无法被当前版本读取（可能由更新版本的 "
                     "App 写入）。其余功能不受影响；这些记录已从列表中隐藏。"));
        QCOMPARE(harness.model().tasks().size(), std::size_t(1));
        QCOMPARE(set(B, "pending"), QString());  // the same pair (1 skipped, 1 loaded)
        harness.submit(two("rc-2"));
        QVERIFY(!set(B, "pending").isEmpty());   // more loaded tasks: a new pair
        QCOMPARE(set(A, "pending"), QString());  // 0 skipped keeps the key
        QCOMPARE(set(A, "unknown"), QString());
        QVERIFY(set("rc-2::item-1", "unknown").contains(QStringLiteral("任务库中有 2 条记录")));
        // Closed rows are counted, not read, and still found unreadable.
        harness.executeSQL("UPDATE tasks SET item_json = '{' WHERE task_key = 'rc-2::item-2';");
        QVERIFY(set("rc-2::item-2", "completed").contains(QStringLiteral("任务库中有 3 条记录")));
        QCOMPARE(harness.model().sidebarCounts().all, 1);
    }

    void refreshFailureKeepsTheListsAndReportsIt() {
        GuiHarness harness;
        AppModel& model = harness.model();
        harness.add(two("rc-1"));
        QSignalSpy tasks(&model, &AppModel::tasksChanged);
        // Another program holds the write lock: the listing's snooze wake-up fails.
        harness.executeSQL("UPDATE tasks SET status = 'in_progress' WHERE task_key = '" + A + "';");
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(harness.database().c_str(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, "BEGIN IMMEDIATE; UPDATE tasks SET status = 'completed';",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        model.refresh();
        sqlite3_exec(db, "ROLLBACK;", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        QVERIFY(notice(harness).startsWith(QStringLiteral("无法读取任务 | 任务数据库操作失败：")));
        QCOMPARE(tasks.count(), 0);
        QCOMPARE(model.tasks().size(), std::size_t(2));
        model.refresh();  // nothing was written since: the failed listing is read again
        QCOMPARE(harness.task(A).status, TaskStatus::inProgress);
    }

    void selectionIsReconciledAfterRefreshAndEmptiedProjectsFallBack() {
        GuiHarness harness;
        AppModel& model = harness.model();
        QVERIFY(!model.selectedTask());
        harness.add(two("rc-1"));
        QCOMPARE(model.selectedTaskKey(), OptionalTaskKey(harness.visibleKeys().front()));
        model.updateTaskSelection({A, B});
        model.setSelectedTaskKey(B);
        // Another program deletes B: it leaves the multi-selection and the detail.
        QVERIFY(harness.otherStore().deleteTask(B).ok());
        model.refresh();
        QCOMPARE(model.selectedTaskKeys(), TaskKeySet{A});
        QCOMPARE(model.selectedTaskKey(), OptionalTaskKey(A));
        // A key snoozed out of the filter stays in the multi-selection only.
        harness.add(two("rc-2"));
        const std::string other = "rc-2::item-1";
        model.updateTaskSelection({A, other});
        model.setStatus(A, TaskStatus::snoozed, harness.platform().now + 1h);
        harness.turn();
        QCOMPARE(model.selectedTaskKeys(), (TaskKeySet{A, other}));
        QCOMPARE(model.selectedVisibleTaskKeys(), TaskKeySet{other});
        QVERIFY(model.selectedTaskKey() != OptionalTaskKey(A));
        // An unknown detail key: the multi-selection's task, else the first one.
        model.setSelectedTaskKey(std::string("gone"));
        model.setSelectedTaskKeys({"rc-2::item-2"});
        QCOMPARE(model.selectedTask()->taskKey, std::string("rc-2::item-2"));
        QCOMPARE(model.selectedTaskKey(), OptionalTaskKey("gone"));
        model.setSelectedTaskKeys({});
        // Setting a value already set signals nothing.
        QSignalSpy keysSpy(&model, &AppModel::selectedTaskKeysChanged);
        QSignalSpy filterSpy(&model, &AppModel::selectionChanged);
        QSignalSpy searchSpy(&model, &AppModel::searchTextChanged);
        model.setSelectedTaskKeys({});
        model.setSelection(model.selection());
        model.setSearchText(model.searchText());
        QCOMPARE(keysSpy.count() + filterSpy.count() + searchSpy.count(), 0);
        QSignalSpy keySpy(&model, &AppModel::selectedTaskKeyChanged);
        QCOMPARE(model.selectedTask()->taskKey, harness.visibleKeys().front());
        QCOMPARE(model.selectedTaskKey(), OptionalTaskKey(harness.visibleKeys().front()));
        model.setSelectedTaskKey(model.selectedTaskKey());
        QCOMPARE(keySpy.count(), 1);
        model.setSelectedTaskKey(harness.visibleKeys().back());  // a shown task stays shown
        QCOMPARE(model.selectedTask()->taskKey, harness.visibleKeys().back());
        model.updateTaskSelection({"c"});
        QCOMPARE(model.selectedTaskKey(), OptionalTaskKey("c"));
        model.updateTaskSelection({"b", "c"});  // keeps a key still selected
        QCOMPARE(model.selectedTaskKey(), OptionalTaskKey("c"));
        model.updateTaskSelection({});
        QCOMPARE(model.selectedTaskKey(), OptionalTaskKey());
        model.setSelection(SidebarSelection::history());  // history shows no task
        QVERIFY(model.visibleTasks().empty() && !model.selectedTask());
        // A project left without open tasks falls back to attention.
        harness.submit(receiptOf("rc-x", "X", {"x"}));
        harness.add(two("rc-3", "Y"));
        model.setSelection(SidebarSelection::project("X"));
        QCOMPARE(harness.visibleKeys(), std::vector<std::string>{"rc-x::item-1"});
        QSignalSpy selection(&model, &AppModel::selectionChanged);
        model.setStatus("rc-x::item-1", TaskStatus::completed, std::nullopt);
        harness.turn();
        QCOMPARE(selection.count(), 1);
        QCOMPARE(model.selection(), SidebarSelection::attention());
        // A project that still has a snoozed task stays selected.
        model.setSelection(SidebarSelection::project("Y"));
        model.setStatus("rc-3::item-1", TaskStatus::snoozed, harness.platform().now + 1h);
        model.setStatus("rc-3::item-2", TaskStatus::cancelled, std::nullopt);
        harness.turn();
        QCOMPARE(model.selection(), SidebarSelection::project("Y"));
    }

    void searchMatchesSixFieldsTrimmedAndCaseFolded_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("matches");
        const QStringList claude{QStringLiteral("rc-claude::item-1")};
        const QStringList codex{QStringLiteral("rc-codex::item-1")};
        QTest::newRow("agent name, trimmed") << QStringLiteral("  Claude \n") << claude;
        QTest::newRow("category name") << QStringLiteral("终端") << codex;
        QTest::newRow("project") << QStringLiteral("zeta") << codex;
        QTest::newRow("agent task title") << QStringLiteral("NIGHTLY") << codex;
        QTest::newRow("item title") << QStringLiteral("rotate logs") << claude;
        QTest::newRow("item reason") << QStringLiteral("reason of rot") << claude;
        QTest::newRow("not the command") << QStringLiteral("systemctl") << QStringList();
        QTest::newRow("blank: no filter") << QStringLiteral("   ") << (claude + codex);
    }
    void searchMatchesSixFieldsTrimmedAndCaseFolded() {
        QFETCH(QString, text);
        QFETCH(QStringList, matches);
        GuiHarness harness;
        harness.submit(receiptWith([](json& r) {
            r["receipt_id"] = "rc-claude";
            r["source"]["agent"] = "claude_code";
            r["items"][0].update({{"title", "Rotate logs"},
                                  {"reason", "Reason of rotate"},
                                  {"category", "physical"}});
        }));
        harness.add(receiptWith([](json& r) {
            r["receipt_id"] = "rc-codex";
            r["project"]["name"] = "Zeta";
            r["source"]["task_title"] = "Nightly build";
        }));
        harness.model().setSelection(SidebarSelection::all());
        harness.model().setSearchText(text);
        QStringList keys;
        for (const std::string& key : harness.visibleKeys()) keys << qs(key);
        keys.sort();
        QCOMPARE(keys, matches);
        harness.model().setSelection(SidebarSelection::status(TaskStatus::completed));
        QVERIFY(harness.visibleKeys().empty());  // the filter still applies
    }

    // A view with closed tasks keeps the search texts it read for the next
    // keystroke, until the store changes.
    void searchFollowsATitleAnotherProgramRewrote() {
        GuiHarness harness;
        AppModel& model = harness.model();
        harness.add(two("rc-1"));
        model.setSelection(SidebarSelection::all());
        model.setSearchText(QStringLiteral("a of"));
        QCOMPARE(harness.visibleKeys(), std::vector<std::string>{A});
        harness.executeSQL("UPDATE tasks SET item_json = json_set(item_json, '$.title', 'Renamed') "
                           "WHERE task_key = '" + A + "';");
        model.refresh();
        QVERIFY(harness.visibleKeys().empty());
        model.setSearchText(QStringLiteral("renamed"));
        QCOMPARE(harness.visibleKeys(), std::vector<std::string>{A});
    }

    // The page after the first is read ahead while the first is shown; when
    // another program changes the store meanwhile, it is read again.
    void aPageReadAheadGivesWayToAChangeSeenByTheRefresh() {
        GuiHarness harness;
        AppModel& model = harness.model();
        for (const char* id : {"rc-a", "rc-b", "rc-c"}) {
            harness.add(receiptOf(id, "alpha", std::vector<std::string>(15, "Old")));
        }
        harness.executeSQL("UPDATE tasks SET status = 'completed';");
        model.setSelection(SidebarSelection::status(TaskStatus::completed));
        const auto first = harness.visibleKeys();
        QCOMPARE(first.size(), AppModel::pageSize);
        QTest::qWait(100);  // the read ahead ends meanwhile
        std::string shown;
        for (const std::string& key : first) shown += (shown.empty() ? "'" : ", '") + key + "'";
        harness.executeSQL("UPDATE tasks SET item_json = json_set(item_json, '$.title', 'New') "
                           "WHERE task_key NOT IN (" + shown + ");");
        model.refresh();
        model.fetchMoreTasks();
        QCOMPARE(model.visibleTasks().size(), std::size_t(45));
        for (const TaskRecord* task : model.visibleTasks()) {
            QCOMPARE(task->item.title, std::ranges::count(first, task->taskKey) ? "Old" : "New");
        }
        // A search whose first page ends where a read ahead began does not take that page.
        model.setSelection(SidebarSelection::all());
        QTest::qWait(100);
        model.setSearchText(QStringLiteral("old"));
        model.fetchMoreTasks();
        QCOMPARE(model.visibleTasks().size(), AppModel::pageSize);
    }

    // A page read ahead is handed over only for the view and position it was read for.
    void aPageReadAheadIsTakenOnlyWhereItWasReadFor() {
        GuiHarness harness;
        harness.add(two("rc-1"));
        const TaskSelection all{true, std::nullopt, std::nullopt};
        PageReadAhead reading(harness.database());
        for (const auto& [selection, from, taken] :
             {std::tuple{all, 0, true}, std::tuple{TaskSelection{}, 0, false},
              std::tuple{all, 1, false}}) {
            reading.start(all, 0, 1);
            const auto page = reading.take(selection, from);
            QCOMPARE(page.has_value(), taken);
            if (page) QCOMPARE(page->tasks.size(), std::size_t(1));
        }
        PageReadAhead gone(harness.root() / "gone.sqlite");
        gone.start(all, 0, 1);
        QVERIFY(!gone.take(all, 0));
    }

    void watchingTicksOnlyWhileVisible() {
        GuiHarness harness;
        AppModel& model = harness.model();
        FakeRepeatingTimer& timer = *harness.platform().timer;
        harness.submit(two("rc-1"));  // unseen until a scan refreshes
        model.startWatching();
        model.startWatching();  // already running: nothing
        QVERIFY(timer.startCount == 1 && timer.interval == 3000ms && timer.tolerance == 500ms);
        QCOMPARE(model.tasks().size(), std::size_t(2));
        QCOMPARE(notice(harness), QString());  // the first scan is silent
        harness.submit(two("rc-2"));
        timer.fire();  // a new window counts as visible
        QCOMPARE(model.tasks().size(), std::size_t(4));
        harness.submit(two("rc-3"));
        model.setWindowVisible(false);
        timer.fire();
        QCOMPARE(model.tasks().size(), std::size_t(4));
        model.setWindowVisible(true);
        timer.fire();
        QCOMPARE(model.tasks().size(), std::size_t(6));
        QSignalSpy watching(&model, &AppModel::isWatchingChanged);
        model.setWatching(false);
        QVERIFY(!timer.isRunning());
        QCOMPARE(watching.count(), 1);  // the phases are walked in the window's test
    }

    void scanningTheInboxReports() {
        GuiHarness harness;
        AppModel& model = harness.model();
        const auto& posted = harness.platform().notifications->posted;
        model.scanInbox(true);
        QCOMPARE(notice(harness), QString());
        model.scanInbox(false);
        QVERIFY(shows(harness, "收件箱已检查"));
        model.dismissNotice();
        // Silent, all accepted: one notification for the receipt with tasks.
        writeFile(harness.inbox() / "a.json", two("rc-1"));
        writeFile(harness.inbox() / "b.json", receiptOf("rc-none", "alpha", {}));
        model.scanInbox(true);
        QCOMPARE(notice(harness), QString());
        const DesktopNotification first{QStringLiteral("rc-1-v1"),
                                        QStringLiteral("alpha 需要你介入"),
                                        QStringLiteral("A of rc-1、B of rc-1")};
        QCOMPARE(posted, QList<DesktopNotification>{first});
        // A rejected file lists every file, even silently.
        writeFile(harness.inbox() / "c.json", two("rc-2"));
        writeFile(harness.inbox() / "d.json", "caf\xe9");
        model.scanInbox(true);
        QVERIFY(notice(harness).startsWith(QStringLiteral("收件箱处理完成 | c.json：")));
        QVERIFY(notice(harness).contains(QStringLiteral("\nd.json：已拒收，")));
        QCOMPARE(posted.size(), 2);
        // A manual scan reports accepted files too; none posted where unavailable.
        harness.platform().notifications->available = false;
        writeFile(harness.inbox() / "e.json", two("rc-3"));
        model.scanInbox(false);
        QVERIFY(notice(harness).startsWith(QStringLiteral("收件箱处理完成 | e.json：")));
        QCOMPARE(posted.size(), 2);
        QCOMPARE(model.tasks().size(), std::size_t(6));
        // Chosen files: each reported, left where they are.
        harness.platform().notifications->available = true;
        QTemporaryDir elsewhere;
        const std::filesystem::path good = elsewhere.path().toStdString() + "/good.json";
        const std::filesystem::path missing = elsewhere.path().toStdString() + "/missing.json";
        writeFile(good, two("rc-4"));
        harness.model().importFiles({good, missing});
        const auto readFailure = ReceiptImporter(harness.otherStore()).importFile(missing);
        QVERIFY(notice(harness).startsWith(QStringLiteral("导入结果 | good.json：")));
        QVERIFY(notice(harness).endsWith(QStringLiteral("\nmissing.json：") +
                                         qs(readFailure.error().description())));
        QCOMPARE(posted.size(), 3);
        QVERIFY(std::filesystem::exists(good));  // chosen files stay where they are
        // The clipboard: refused text names the importer's reason; a receipt is imported.
        harness.platform().pasteboard->content = QString();
        model.importFromPasteboard();
        const auto refused = ReceiptImporter(harness.otherStore()).importData("");
        QCOMPARE(notice(harness),
                 QStringLiteral("剪贴板回执被拒收 | ") + qs(refused.error().description()));
        harness.platform().pasteboard->content = qs(two("rc-5"));
        model.importFromPasteboard();
        QVERIFY(shows(harness, "剪贴板导入完成"));
        QCOMPARE(model.tasks().size(), std::size_t(10));
        QCOMPARE(posted.size(), 4);
        // A failing scan speaks only when asked for.
        model.dismissNotice();
        std::filesystem::remove_all(harness.inbox());
        writeFile(harness.inbox(), "a file where the inbox should be");
        model.scanInbox(true);
        QCOMPARE(notice(harness), QString());
        model.scanInbox(false);
        const auto expected = AppPaths(harness.root()).ensureDirectories();
        QCOMPARE(notice(harness),
                 QStringLiteral("无法扫描收件箱 | ") + qs(expected.error().description()));
    }

    void deleteRemovesOnlySelectedVisibleTasks() {
        GuiHarness harness;
        AppModel& model = harness.model();
        harness.add(two("rc-1"));
        model.updateTaskSelection({A, B});
        model.setStatus(A, TaskStatus::snoozed, harness.platform().now + 1h);
        harness.turn();
        model.setShowingDeleteConfirmation(true);
        model.deleteSelectedTasks();
        QCOMPARE(notice(harness),
                 QStringLiteral(
                     "已删除 1 项 | 任务已从当前列表永久删除；对应回执仍保留在“回执历史”中。"));
        QVERIFY(!model.isShowingDeleteConfirmation() && model.selectedTaskKeys().empty());
        harness.turn();
        QCOMPARE(model.tasks().size(), std::size_t(1));
        QCOMPARE(model.tasks().front().taskKey, A);
        // Nothing visible selected: only the confirmation closes.
        model.dismissNotice();
        model.setSelection(SidebarSelection::status(TaskStatus::completed));
        model.updateTaskSelection({A});
        model.setShowingDeleteConfirmation(true);
        model.deleteSelectedTasks();
        QVERIFY(!model.isShowingDeleteConfirmation());
        QCOMPARE(notice(harness), QString());
        QCOMPARE(model.selectedTaskKeys(), TaskKeySet{A});
        harness.turn();
        QCOMPARE(model.tasks().size(), std::size_t(1));
        // A failure keeps the selection and deletes nothing.
        model.setSelection(SidebarSelection::all());
        harness.add(two("rc-2"));
        model.updateTaskSelection({A, "rc-2::item-1"});
        QVERIFY(harness.otherStore().deleteTask("rc-2::item-1").ok());  // not refreshed yet
        model.setShowingDeleteConfirmation(true);
        model.deleteSelectedTasks();
        QCOMPARE(notice(harness), QStringLiteral("无法删除事项 | 找不到任务：rc-2::item-1"));
        QVERIFY(!model.isShowingDeleteConfirmation());
        QCOMPARE(model.selectedTaskKeys(), (TaskKeySet{A, "rc-2::item-1"}));
        QVERIFY(harness.platform().deferredCalls->pending.empty());
        QVERIFY(harness.otherStore().task(A).ok());  // all or nothing
    }

    void copyAndReturnToCodex_data() {
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<bool>("acceptsURL");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("opened");
        const Edit noThread = [](json& r) { r["source"].erase("task_id"); };
        // Upper case in the receipt, lower case in the link.
        const Edit upper = [](json& r) {
            r["source"]["task_id"] = "3F2B9C1E-8A47-4D6B-9E21-5C0D7A4B8F13";
        };
        QTest::newRow("steps open")
            << noThread << false << true
            << QStringLiteral("还有步骤未完成 | 请按顺序完成并核对所有步骤，再生成恢复消息。") << 0;
        QTest::newRow("another agent")
            << Edit([](json& r) { r["source"]["agent"] = "claude_code"; }) << true << true
            << QStringLiteral("恢复消息已复制") << 0;
        QTest::newRow("thread opened")
            << upper << true << true
            << QStringLiteral(
                   "已复制，并已请求 Codex 打开任务 | Codex 已接收深链接请求，但 Velmora "
                   "无法确认是否定位正确。请先核对当前是否为原任务，然后按 %1 粘贴，"
                   "检查恢复消息，最后按 Return 发送。")
                   .arg(PlatformTexts::pasteShortcut())
            << 1;
        QTest::newRow("link refused")
            << upper << true << false << QStringLiteral("恢复消息已复制，但未定位原任务") << 1;
    }
    void copyAndReturnToCodex() {
        QFETCH(Edit, edit);
        QFETCH(bool, ticked);
        QFETCH(bool, acceptsURL);
        QFETCH(QString, title);
        QFETCH(int, opened);
        GuiHarness harness;
        harness.add(receiptWith(edit));
        if (ticked) harness.tickBothSteps(A);
        FakeWorkspace& workspace = *harness.platform().workspace;
        workspace.acceptsURLs = acceptsURL;
        harness.model().copyAndReturnToCodex(harness.task(A));
        QVERIFY2(notice(harness).startsWith(title), qPrintable(notice(harness)));
        const QUrl link(QStringLiteral("codex://threads/3f2b9c1e-8a47-4d6b-9e21-5c0d7a4b8f13"));
        QCOMPARE(workspace.openedURLs, opened ? QList<QUrl>{link} : QList<QUrl>());
        QCOMPARE(workspace.codexOpenRequests, acceptsURL ? 0 : 1);
        QCOMPARE(harness.platform().pasteboard->content.has_value(), ticked);
        harness.turn();
        QCOMPARE(harness.task(A).status == TaskStatus::readyToResume, ticked);
        // Codex itself, when it is missing.
        harness.model().dismissNotice();
        workspace.codexInstalled = acceptsURL;
        harness.model().openCodexOrExplain();
        QCOMPARE(harness.model().notice().has_value(), !acceptsURL);
    }

    void aSecretInTheNoteNeedsTheUsersChoice_data() {
        QTest::addColumn<bool>("copy");  // else: copy and return to Codex
        QTest::addColumn<QString>("note");
        QTest::addColumn<bool>("confirm");
        const QString token = QStringLiteral("token ghp_0123456789abcdefghijKLMN");
        const QString bearer = QStringLiteral("Bearer abcdefghijklmnopqrst");
        QTest::newRow("copy, declined") << true << token << false;
        QTest::newRow("copy, confirmed") << true << token << true;
        QTest::newRow("thread, declined") << false << bearer << false;
        QTest::newRow("thread, confirmed") << false << bearer << true;
        QTest::newRow("clean note")
            << true << QStringLiteral("已重启服务，token 在钥匙串里") << false;
    }
    void aSecretInTheNoteNeedsTheUsersChoice() {
        QFETCH(bool, copy);
        QFETCH(QString, note);
        QFETCH(bool, confirm);
        GuiHarness harness;
        AppModel& model = harness.model();
        FakePlatform& platform = harness.platform();
        harness.submit(baseReceipt().dump());
        harness.tickBothSteps(A);
        model.setNote(A, note);
        platform.alerts->nextAnswer = confirm;
        const TaskRecord task = harness.task(A);
        copy ? model.copyResumeMessage(task) : model.copyAndReturnToCodex(task);
        harness.turn();
        const auto secret =
            ResumeMessageGuard().check(ResumeMessageBuilder().build(task, note.toStdString()));
        const bool copied = confirm || !secret;
        QCOMPARE(platform.alerts->requests.size(), secret ? 1 : 0);
        QCOMPARE(platform.pasteboard->content,
                 copied ? std::optional(qs(ResumeMessageBuilder().build(task, note.toStdString())))
                        : std::nullopt);
        QCOMPARE(harness.task(A).status == TaskStatus::readyToResume, copied);
        // Declining leaves everything as it was: no thread opened, no notice.
        QCOMPARE(platform.workspace->openedURLs.size(), copied && !copy ? 1 : 0);
        QCOMPARE(model.notice().has_value(), copied && !copy);
        if (!secret) return;
        // The alert names the findings but never the secret.
        QCOMPARE(
            platform.alerts->requests.front(),
            (ConfirmationRequest{QStringLiteral("仍要复制恢复消息吗？"), qs(secret->description()),
                                 QStringLiteral("仍然复制"), QStringLiteral("不复制")}));
    }

    void exportFailuresLeaveNoFile() {
        GuiHarness harness;
        harness.submit(receiptOf("rc-1", "alpha", {"A"}));
        QTemporaryDir target;
        const std::string location = target.path().toStdString() + "/out.json";
        harness.platform().filePanels->nextChoice = qs(location);
        QSignalSpy progress(&harness.model(), &AppModel::dataCommandProgressChanged);
        // Files may not grow past 100 bytes: the archive's write fails midway.
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit previous{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
        rlimit small = previous;
        small.rlim_cur = 100;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        harness.model().exportArchive();
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
        const auto error = std::make_error_code(std::errc::file_too_large);
        QCOMPARE(
            notice(harness),
            QStringLiteral("无法导出数据归档 | ") +
                qs(FileError::fromCode(FileError::Kind::writeFile, location, error).description()));
        QVERIFY(!std::filesystem::exists(location));
        QVERIFY(progressAt(progress, -1).finished);
    }

    void exportThenRestoreArchiveThenBackUpAndRestoreTheDatabase() {
        GuiHarness harness;
        harness.platform().now = *parseKestrinISO8601("2026-07-27T08:30:00Z");  // for the names
        AppModel& model = harness.model();
        harness.add(receiptOf("rc-1", "alpha", {"A"}));
        model.exportArchive();  // cancelled: nothing
        QCOMPARE(notice(harness), QString());
        QTemporaryDir target;
        const QString archive = target.path() + QStringLiteral("/archive.json");
        harness.platform().filePanels->nextChoice = archive;
        QSignalSpy progress(&model, &AppModel::dataCommandProgressChanged);
        model.exportArchive();
        const auto& request = harness.platform().filePanels->saveRequests.at(1);
        QCOMPARE(request.title + u' ' + request.proposedName,
                 QStringLiteral("导出 Velmora 数据归档 Velmora-export-2026-07-27.json"));
        QVERIFY(request.canCreateDirectories);
        QCOMPARE(notice(harness), QStringLiteral("数据归档已导出 | ") + model.currentDataContext() +
                                      QStringLiteral("\n归档文件：") + archive);
        const std::string exported = readFile(archive.toStdString());
        QVERIFY(exported.find("\"receipt_id\": \"rc-1\"") != std::string::npos);  // pretty layout
        QCOMPARE(progressAt(progress, 0),
                 (DataCommandProgress{DataCommandProgress::Command::exportArchive, 0, 0, false}));
        QVERIFY(progressAt(progress, -1).finished);
        QCOMPARE(progressAt(progress, -1).completed, progressAt(progress, -1).total);
        progress.clear();
        model.exportArchive();
        QCOMPARE(notice(harness),
                 QStringLiteral(
                     "没有覆盖现有文件 | 请选择一个新文件名；Velmora 不会静默覆盖已有归档。"));
        QCOMPARE(readFile(archive.toStdString()), exported);
        QCOMPARE(progress.count(), 0);
        // After the export: rc-1's task is closed locally and rc-2 arrives.
        model.setStatus(A, TaskStatus::completed, std::nullopt);
        harness.submit(receiptOf("rc-2", "alpha", {"A"}));
        harness.turn();
        model.dismissNotice();
        // Cancelled at the panel, then declined at the question: nothing happens.
        harness.platform().filePanels->nextChoice.reset();
        model.restoreArchive();
        const auto panel = harness.platform().filePanels->openRequests.at(0);
        QVERIFY(panel.title == QStringLiteral("选择 Velmora 数据归档") &&
                panel.allowedType == PanelFileType::json);
        QVERIFY(harness.platform().alerts->requests.isEmpty());
        harness.platform().filePanels->nextChoice = archive;
        harness.platform().alerts->nextAnswer = false;
        model.restoreArchive();
        const ConfirmationRequest& asked = harness.platform().alerts->requests.at(0);
        QCOMPARE(asked.messageText + u'|' + asked.confirmButton + u'|' + asked.cancelButton,
                 QStringLiteral("恢复这份数据归档？|继续恢复|取消"));
        QCOMPARE(
            asked.informativeText,
            model.currentDataContext() + QStringLiteral("\n来源文件：") + archive +
                QStringLiteral("\n\n归档会在临时数据库中完整校验，再合并回当前任务库。较旧回执不"
                               "会覆盖本地较新版本，恢复前会自动创建安全副本。"));
        QCOMPARE(notice(harness), QString());
        QCOMPARE(backupCount(harness), std::size_t(0));

        harness.platform().alerts->nextAnswer = true;
        model.restoreArchive();
        const auto safety =
            harness.root() / "backups" / "Velmora-before-archive-restore-20260727-083000.sqlite";
        QCOMPARE(backupCount(harness), std::size_t(1));
        QCOMPARE(notice(harness),
                 QStringLiteral("数据归档已恢复 | ") + model.currentDataContext() +
                     QStringLiteral("\n来源归档：") + archive +
                     QStringLiteral("\n已核对 1 张回执和 1 个任务状态。\n恢复前安全副本：") +
                     qs(safety.string()));
        // The archived state comes back, the newer receipt stays, the lists reload.
        QCOMPARE(harness.task(A).status, TaskStatus::pending);
        QCOMPARE(model.tasks().size(), std::size_t(2));
        QCOMPARE(progressAt(progress, 0).command, DataCommandProgress::Command::restoreArchive);
        QVERIFY(progressAt(progress, -1).finished);
        // A refused archive or a vanished file: the lists stay as they were.
        const std::string broken = target.path().toStdString() + "/broken.json";
        writeFile(broken, R"({"schema_version": "2.0.0", "exported_at": "2026-07-27T08:30:00.000Z",
                             "receipts": [], "task_states": []})");
        harness.platform().filePanels->nextChoice = qs(broken);
        harness.submit(receiptOf("rc-3", "alpha", {"A"}));  // would appear with any refresh
        QSignalSpy tasks(&model, &AppModel::tasksChanged);
        model.restoreArchive();
        QVERIFY(shows(harness, "没有恢复数据归档"));
        QCOMPARE(tasks.count(), 0);
        harness.platform().filePanels->nextChoice = target.path() + QStringLiteral("/gone.json");
        model.restoreArchive();
        QVERIFY(shows(harness, "没有恢复数据归档") &&
                notice(harness).contains(QStringLiteral("gone.json")));
        QCOMPARE(progressAt(progress, -1),  // nothing was read
                 (DataCommandProgress{DataCommandProgress::Command::restoreArchive, 0, 0, true}));
        model.createDatabaseBackup();
        const auto backup = harness.root() / "backups" / "Velmora-manual-20260727-083000.sqlite";
        QCOMPARE(notice(harness), QStringLiteral("数据库备份已创建 | ") +
                                      model.currentDataContext() + QStringLiteral("\n备份文件：") +
                                      qs(backup.string()));
        harness.add(receiptOf("rc-4", "alpha", {"A"}));
        QCOMPARE(model.tasks().size(), std::size_t(4));
        harness.platform().filePanels->nextChoice = qs(backup.string());
        model.restoreDatabaseBackup();
        QCOMPARE(harness.platform().filePanels->openRequests.constLast().title,
                 QStringLiteral("选择 Velmora 数据库备份"));
        const ConfirmationRequest replace = harness.platform().alerts->requests.constLast();
        QCOMPARE(
            replace.messageText + replace.informativeText.section(QStringLiteral("\n\n"), 1),
            QStringLiteral("用这份数据库备份恢复？当前数据库会先保存为安全副本。来源数据库将经过版"
                           "本和完整性检查；失败时会自动尝试回滚。"));
        const auto dbSafety =
            harness.root() / "backups" / "Velmora-before-database-restore-20260727-083000.sqlite";
        QCOMPARE(notice(harness), QStringLiteral("数据库备份已恢复 | ") +
                                      model.currentDataContext() + QStringLiteral("\n来源备份：") +
                                      qs(backup.string()) + QStringLiteral("\n恢复前安全副本：") +
                                      qs(dbSafety.string()));
        QCOMPARE(model.tasks().size(), std::size_t(3));  // copied into this very connection
        model.dismissNotice();
        const qsizetype questions = harness.platform().alerts->requests.size();
        harness.platform().filePanels->nextChoice.reset();
        model.restoreDatabaseBackup();  // cancelled at the panel: not even asked
        QCOMPARE(harness.platform().alerts->requests.size(), questions);
        harness.platform().filePanels->nextChoice = qs(backup.string());
        harness.platform().alerts->nextAnswer = false;
        model.restoreDatabaseBackup();
        QCOMPARE(notice(harness), QString());
        harness.platform().alerts->nextAnswer = true;
        harness.platform().filePanels->nextChoice = qs(harness.database().string());
        model.restoreDatabaseBackup();
        QVERIFY(shows(harness, "没有恢复数据库备份"));
        QCOMPARE(model.tasks().size(), std::size_t(3));
    }

    void eachFailureBecomesANoticeSayingWhy_data() {
        QTest::addColumn<Opener>("open");
        QTest::addColumn<LaunchFailure>("failure");  // of the folder or the terminal
        QTest::addColumn<QString>("shown");
        const Opener project = [](GuiHarness& h) { h.model().openProjectFolder(h.task(A)); };
        const Opener terminal = [](GuiHarness& h) {
            h.model().openTerminal(QStringLiteral("/work/alpha"));
        };
        const auto row = [](const char* name, Opener open, LaunchFailure failure,
                            const char* shown) {
            QTest::newRow(name) << open << failure << QString::fromUtf8(shown);
        };
        row("project from another machine", project, WorkspaceError::folderMissing("/work/alpha"),
            "无法打开项目文件夹 | 这台电脑上没有这个文件夹：/work/alpha");
        row(
            "no file manager for the inbox", [](GuiHarness& h) { h.model().openInbox(); },
            WorkspaceError::noFolderHandler("/data/inbox"),
            "无法打开恢复收件箱 | 没有程序能打开这个文件夹：/data/inbox");
        row(
            "no file manager for the data directory",
            [](GuiHarness& h) { h.model().openDataDirectory(); },
            WorkspaceError::noFolderHandler("/data"),
            "无法显示当前任务库 | 没有程序能打开这个文件夹：/data");
        row("no terminal", terminal, WorkspaceError::noTerminal(),
            "无法打开终端 | 没有找到可以启动的终端程序。");
        row("terminal would not start", terminal,
            WorkspaceError::terminalNotStarted("/usr/bin/xterm"),
            "无法打开终端 | 终端程序没有启动：/usr/bin/xterm");
    }
    void eachFailureBecomesANoticeSayingWhy() {
        QFETCH(Opener, open);
        QFETCH(LaunchFailure, failure);
        GuiHarness harness;
        harness.add(baseReceipt().dump());
        harness.platform().workspace->folderFailure = failure;
        harness.platform().workspace->terminalFailure = failure;
        open(harness);
        QTEST(notice(harness), "shown");
    }
};

QTEST_GUILESS_MAIN(AppModelTest)
#include "AppModelTest.moc"
