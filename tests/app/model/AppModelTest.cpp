// The app model through its public operations, with fake platform services
// and no window; another connection plays the MCP server.

#include <sqlite3.h>

#include <QSignalSpy>
#include <QTest>

#include "core/handback/ResumeMessageBuilder.h"
#include "views/GuiHarness.h"

using namespace kestrin;
using namespace kestrin::testing;
using namespace std::chrono_literals;
using nlohmann::json;

namespace {

const std::string A = "rc-1::item-1", B = "rc-1::item-2";

std::string two(const std::string& id, const std::string& project = "alpha") {
    return receiptOf(id, project, {"A of " + id, "B of " + id});
}

QString u(const char* text) {
    return QString::fromUtf8(text);
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
        QVERIFY(!expected);
        QCOMPARE(notice(harness),
                 QStringLiteral("无法启动本地任务库 | ") + qs(expected.error().description()));
        QVERIFY(!model.paths());
        QCOMPARE(harness.platform().notifications->authorizationRequests, 0);
        QCOMPARE(model.windowTitle(), QStringLiteral("Velmora · 自定义任务库"));
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
        // ... except that an empty clipboard is still reported.
        harness.platform().pasteboard->content.reset();
        model.importFromPasteboard();
        QVERIFY(notice(harness).startsWith(QStringLiteral("剪贴板没有 JSON")));
    }

    void startUpNamesTheDataEnvironment() {
        GuiHarness temporary;
        QCOMPARE(temporary.platform().notifications->authorizationRequests, 1);
        QCOMPARE(notice(temporary), QString());
        QCOMPARE(temporary.model().paths()->root(), temporary.root());
        QVERIFY(std::filesystem::is_directory(temporary.inbox()));
        QCOMPARE(temporary.model().windowTitle(), QStringLiteral("Velmora · 隔离测试库"));
        QCOMPARE(temporary.model().currentDataContext(),
                 QStringLiteral("当前环境：隔离测试库\n当前数据库：") +
                     qs(temporary.database().string()));
        QTemporaryDir dataHome;
        GuiHarness standard({{"XDG_DATA_HOME", dataHome.path().toStdString()},
                             {"HOME", dataHome.path().toStdString()}});
        QCOMPARE(standard.model().windowTitle(), QStringLiteral("Velmora · 正式任务库"));
    }

    void refreshAssignsOnlyWhatChanged() {
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
        QCOMPARE(model.tasks().size(), std::size_t(2));
        harness.add(receiptOf("rc-empty", "alpha", {}));  // history only
        QCOMPARE(tasks.count(), 1);
        QCOMPARE(history.count(), 2);
    }

    void refreshSeesEveryWriterAndWakesSnoozedTasks() {
        GuiHarness harness;
        AppModel& model = harness.model();
        harness.add(two("rc-1"));
        harness.setStatus(A, TaskStatus::waitingExternal);
        model.refresh();
        QCOMPARE(harness.task(A).status, TaskStatus::waitingExternal);
        harness.executeSQL("UPDATE tasks SET status = 'cancelled' WHERE task_key = '" + A + "';");
        model.refresh();
        QCOMPARE(harness.task(A).status, TaskStatus::cancelled);

        const Timestamp start = harness.platform().now;
        model.setStatus(A, TaskStatus::snoozed, start + 15min);
        harness.turn();
        QCOMPARE(harness.task(A).status, TaskStatus::snoozed);
        harness.platform().now = start + 14min;
        model.refresh();
        QCOMPARE(harness.task(A).status, TaskStatus::snoozed);
        // The time comes; nobody writes, the listing itself wakes the task.
        harness.platform().now = start + 15min;
        QSignalSpy tasks(&model, &AppModel::tasksChanged);
        model.refresh();
        QCOMPARE(tasks.count(), 1);
        QCOMPARE(harness.task(A).status, TaskStatus::pending);
        QVERIFY(!harness.task(A).snoozedUntil);
    }

    void skippedRowsNoticeIsShownOncePerKey() {
        GuiHarness harness;
        AppModel& model = harness.model();
        const auto set = [&](const std::string& key, const char* status) {
            harness.executeSQL(std::string("UPDATE tasks SET status = '") + status +
                               "' WHERE task_key = '" + key + "';");
            model.refresh();
            const QString shown = notice(harness);
            model.dismissNotice();
            return shown;
        };
        harness.submit(two("rc-1"));
        QCOMPARE(set(A, "unknown"),
                 QStringLiteral("部分记录无法解析 | 任务库中有 1 条记录无法被当前版本读取（可能由"
                                "更新版本的 App 写入）。其余功能不受影响；这些记录已从列表中隐藏。"));
        QCOMPARE(model.tasks().size(), std::size_t(1));
        QCOMPARE(set(B, "pending"), QString());  // the same pair (1 skipped, 1 loaded)
        harness.submit(two("rc-2"));
        QVERIFY(!set(B, "pending").isEmpty());  // more loaded tasks: a new pair
        // Back to 0 skipped keeps the key, so the same pair again stays quiet.
        QCOMPARE(set(A, "pending"), QString());
        QCOMPARE(set(A, "unknown"), QString());
        QVERIFY(set("rc-2::item-1", "unknown").contains(QStringLiteral("任务库中有 2 条记录")));
    }

    void refreshFailureKeepsTheListsAndReportsIt() {
        GuiHarness harness;
        AppModel& model = harness.model();
        harness.add(two("rc-1"));
        QSignalSpy tasks(&model, &AppModel::tasksChanged);
        // A committed change, then another program holds the write lock past the
        // busy timeout: the snooze wake-up that starts every listing cannot run.
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
        // The next refresh reads again instead of trusting the failed one.
        harness.add(two("rc-2", "beta"));
        QCOMPARE(model.tasks().size(), std::size_t(4));
    }

    void selectionIsReconciledAfterRefresh() {
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
        QSignalSpy keySpy(&model, &AppModel::selectedTaskKeyChanged);
        QCOMPARE(model.selectedTask()->taskKey, harness.visibleKeys().front());
        QCOMPARE(model.selectedTaskKey(), OptionalTaskKey(harness.visibleKeys().front()));
        QCOMPARE(keySpy.count(), 1);
        // History shows no task.
        model.setSelection(SidebarSelection::history());
        QVERIFY(model.visibleTasks().empty() && !model.selectedTask());
        model.refresh();
        QCOMPARE(model.selectedTaskKey(), OptionalTaskKey());
    }

    void updateTaskSelectionKeepsOrReplacesTheDetailKey() {
        GuiHarness harness;
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

    void projectSelectionFallsBackToAttention() {
        GuiHarness harness;
        AppModel& model = harness.model();
        harness.submit(receiptOf("rc-x", "X", {"x"}));
        harness.add(two("rc-2", "Y"));
        model.setSelection(SidebarSelection::project("X"));
        QCOMPARE(harness.visibleKeys(), std::vector<std::string>{"rc-x::item-1"});
        QSignalSpy selection(&model, &AppModel::selectionChanged);
        model.setStatus("rc-x::item-1", TaskStatus::completed, std::nullopt);
        harness.turn();
        QCOMPARE(selection.count(), 1);
        QCOMPARE(model.selection(), SidebarSelection::attention());
        // A project that still has a snoozed task stays selected.
        model.setSelection(SidebarSelection::project("Y"));
        model.setStatus("rc-2::item-1", TaskStatus::snoozed, harness.platform().now + 1h);
        model.setStatus("rc-2::item-2", TaskStatus::cancelled, std::nullopt);
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
        QTest::newRow("not the summary") << QStringLiteral("proxy needs") << QStringList();
        QTest::newRow("blank: no filter") << QStringLiteral("   ") << (claude + codex);
    }
    void searchMatchesSixFieldsTrimmedAndCaseFolded() {
        QFETCH(QString, text);
        QFETCH(QStringList, matches);
        GuiHarness harness;
        harness.submit(receiptWith([](json& r) {
            r["receipt_id"] = "rc-claude";
            r["source"]["agent"] = "claude_code";
            r["items"][0].update({{"title", "Rotate logs"}, {"reason", "Reason of rotate"},
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
        // The filter still applies on top of the search.
        harness.model().setSelection(SidebarSelection::status(TaskStatus::completed));
        QVERIFY(harness.visibleKeys().empty());
    }

    void watchingTicksOnlyWhileVisible() {
        GuiHarness harness;
        AppModel& model = harness.model();
        FakeRepeatingTimer& timer = *harness.platform().timer;
        harness.submit(two("rc-1"));  // unseen until a scan refreshes
        model.startWatching();
        model.startWatching();  // already running: nothing
        QCOMPARE(timer.startCount, 1);
        QCOMPARE(timer.interval, 3000ms);
        QCOMPARE(timer.tolerance, 500ms);
        QCOMPARE(model.tasks().size(), std::size_t(2));
        QCOMPARE(notice(harness), QString());  // the first scan is silent
        harness.submit(two("rc-2"));
        model.setWindowVisible(false);
        timer.fire();
        QCOMPARE(model.tasks().size(), std::size_t(2));
        model.setWindowVisible(true);
        timer.fire();
        QCOMPARE(model.tasks().size(), std::size_t(4));

        QSignalSpy watching(&model, &AppModel::isWatchingChanged);
        model.setWatching(false);
        QVERIFY(!timer.isRunning());
        QCOMPARE(watching.count(), 1);
        model.enterBackground();
        model.enterForeground();
        QVERIFY(!timer.isRunning());  // back with watching off: no timer
        model.setWatching(true);
        QVERIFY(timer.isRunning());
        model.enterBackground();
        QVERIFY(!timer.isRunning() && !model.windowVisible());
        model.enterForeground();
        QVERIFY(timer.isRunning() && model.windowVisible());
    }

    void scanningTheInboxReports() {
        GuiHarness harness;
        AppModel& model = harness.model();
        const auto& posted = harness.platform().notifications->posted;
        model.scanInbox(true);
        QCOMPARE(notice(harness), QString());
        model.scanInbox(false);
        QCOMPARE(notice(harness), QStringLiteral("收件箱已检查 | 当前没有新的 JSON 回执。"));
        model.dismissNotice();

        // Silent, all accepted: one notification for the receipt with tasks.
        writeFile(harness.inbox() / "a.json", two("rc-1"));
        writeFile(harness.inbox() / "b.json", receiptOf("rc-none", "alpha", {}));
        model.scanInbox(true);
        QCOMPARE(notice(harness), QString());
        QCOMPARE(model.tasks().size(), std::size_t(2));
        const DesktopNotification first{QStringLiteral("rc-1-v1"), QStringLiteral("alpha 需要你介入"),
                                           QStringLiteral("A of rc-1、B of rc-1")};
        QCOMPARE(posted, QList<DesktopNotification>{first});

        // A rejected file lists every file, even silently.
        writeFile(harness.inbox() / "c.json", two("rc-2"));
        writeFile(harness.inbox() / "d.json", "caf\xe9");
        model.scanInbox(true);
        QVERIFY(notice(harness).startsWith(QStringLiteral("收件箱处理完成 | c.json：")));
        QVERIFY(notice(harness).contains(QStringLiteral("\nd.json：已拒收，")));
        QCOMPARE(posted.size(), 2);

        // A manual scan reports accepted files too; no notifications where unavailable.
        harness.platform().notifications->available = false;
        writeFile(harness.inbox() / "e.json", two("rc-3"));
        model.scanInbox(false);
        QVERIFY(notice(harness).startsWith(QStringLiteral("收件箱处理完成 | e.json：")));
        QCOMPARE(posted.size(), 2);
        QCOMPARE(model.tasks().size(), std::size_t(6));

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

    void importFilesReportsEachFile() {
        GuiHarness harness;
        QTemporaryDir elsewhere;
        const std::filesystem::path good = elsewhere.path().toStdString() + "/good.json";
        const std::filesystem::path missing = elsewhere.path().toStdString() + "/missing.json";
        writeFile(good, two("rc-1"));
        harness.model().importFiles({good, missing});
        const auto readFailure = ReceiptImporter(harness.otherStore()).importFile(missing);
        QVERIFY(notice(harness).startsWith(QStringLiteral("导入结果 | good.json：")));
        QVERIFY(notice(harness).endsWith(QStringLiteral("\nmissing.json：") +
                                         qs(readFailure.error().description())));
        QCOMPARE(harness.model().tasks().size(), std::size_t(2));
        QCOMPARE(harness.platform().notifications->posted.size(), 1);
        QVERIFY(std::filesystem::exists(good));  // chosen files stay where they are
    }

    void clipboardImport_data() {
        QTest::addColumn<std::optional<QString>>("content");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("tasks");
        QTest::newRow("no text") << std::optional<QString>() << QStringLiteral(
            "剪贴板没有 JSON | 先从 Agent 复制完整的回执 JSON，再回到这里导入。") << 0;
        QTest::newRow("empty text goes to the importer")
            << std::optional<QString>(QString()) << QStringLiteral("剪贴板回执被拒收 | ") << 0;
        QTest::newRow("empty object")
            << std::optional<QString>(QStringLiteral("{}")) << QStringLiteral("剪贴板回执被拒收 | ")
            << 0;
        QTest::newRow("receipt") << std::optional<QString>(qs(two("rc-1")))
                                 << QStringLiteral("剪贴板导入完成 | ") << 2;
    }
    void clipboardImport() {
        QFETCH(std::optional<QString>, content);
        QFETCH(QString, shown);
        QFETCH(int, tasks);
        GuiHarness harness;
        harness.platform().pasteboard->content = content;
        harness.model().importFromPasteboard();
        QVERIFY2(notice(harness).startsWith(shown), qPrintable(notice(harness)));
        QCOMPARE(int(harness.model().tasks().size()), tasks);
        QCOMPARE(int(harness.platform().notifications->posted.size()), tasks ? 1 : 0);
        if (content && tasks == 0) {  // the importer's own reason, unchanged
            const auto refused = ReceiptImporter(harness.otherStore()).importData(content->toStdString());
            QVERIFY(notice(harness).endsWith(qs(refused.error().description())));
        }
    }

    void stepAndStatusChangesRefreshAfterTheLoopTurns() {
        GuiHarness harness;
        AppModel& model = harness.model();
        harness.add(two("rc-1"));
        model.setStep(A, "step-1", true);
        QCOMPARE(harness.task(A).status, TaskStatus::pending);  // not before the loop turns
        harness.turn();
        QCOMPARE(harness.task(A).status, TaskStatus::inProgress);
        QCOMPARE(harness.task(A).completedStepIDs, std::set<std::string>{"step-1"});
        model.setStep(A, "step-1", false);
        harness.turn();
        QVERIFY(harness.task(A).completedStepIDs.empty());
        const Timestamp until = harness.platform().now + 1h;
        model.setStatus(A, TaskStatus::snoozed, until);
        harness.turn();
        QCOMPARE(harness.task(A).snoozedUntil, std::optional<Timestamp>(until));
        QCOMPARE(notice(harness), QString());

        // Failures are reported and the refresh still runs.
        harness.submit(two("rc-2"));
        model.setStep("rc-1::gone", "step-1", true);
        QCOMPARE(notice(harness), QStringLiteral("无法更新步骤 | 找不到任务：rc-1::gone"));
        QCOMPARE(harness.platform().deferredCalls->pending.size(), std::size_t(1));
        harness.turn();
        QCOMPARE(model.tasks().size(), std::size_t(4));
        model.setStatus("rc-1::gone", TaskStatus::completed, std::nullopt);
        QCOMPARE(notice(harness), QStringLiteral("无法更新状态 | 找不到任务：rc-1::gone"));
        QCOMPARE(harness.platform().deferredCalls->pending.size(), std::size_t(1));
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
        QCOMPARE(notice(harness), QStringLiteral("已删除 1 项 | 任务已从当前列表永久删除；对应回执"
                                                 "仍保留在“回执历史”中。"));
        QVERIFY(!model.isShowingDeleteConfirmation());
        QVERIFY(model.selectedTaskKeys().empty());
        harness.turn();
        QCOMPARE(model.tasks().size(), std::size_t(1));
        QCOMPARE(model.tasks().front().taskKey, A);
        QCOMPARE(model.history().size(), std::size_t(1));

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
    }

    void deleteFailureKeepsTheSelection() {
        GuiHarness harness;
        AppModel& model = harness.model();
        harness.add(two("rc-1"));
        model.updateTaskSelection({A, B});
        QVERIFY(harness.otherStore().deleteTask(B).ok());  // not refreshed yet
        model.setShowingDeleteConfirmation(true);
        model.deleteSelectedTasks();
        QCOMPARE(notice(harness), QStringLiteral("无法删除事项 | 找不到任务：rc-1::item-2"));
        QVERIFY(!model.isShowingDeleteConfirmation());
        QCOMPARE(model.selectedTaskKeys(), (TaskKeySet{A, B}));
        QVERIFY(harness.platform().deferredCalls->pending.empty());
        QVERIFY(harness.otherStore().task(A).ok());  // all or nothing
    }

    void copyResumeMessageCopiesAndMarksReady() {
        GuiHarness harness;
        harness.add(two("rc-1"));
        const TaskRecord task = harness.task(A);
        harness.model().setNote(A, QStringLiteral("  已重启服务  "));
        QCOMPARE(harness.model().note(A), QStringLiteral("  已重启服务  "));
        harness.model().copyResumeMessage(task);
        QCOMPARE(harness.platform().pasteboard->content,
                 std::optional<QString>(qs(ResumeMessageBuilder().build(task, "  已重启服务  "))));
        QCOMPARE(notice(harness), QString());
        harness.turn();
        QCOMPARE(harness.task(A).status, TaskStatus::readyToResume);
    }

    void copyAndReturnToCodex_data() {
        QTest::addColumn<QString>("agent");
        QTest::addColumn<QString>("taskID");
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<bool>("acceptsURL");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("url");
        const QString none;
        QTest::newRow("steps open") << u("codex") << none << false << true << QStringLiteral(
            "还有步骤未完成 | 请按顺序完成并核对所有步骤，再生成恢复消息。") << none;
        QTest::newRow("another agent") << u("claude_code") << none << true << true << QStringLiteral(
            "恢复消息已复制 | 当前仅支持自动返回 Codex；其他 Agent 请复制恢复消息后手动返回原任务。")
                                       << none;
        QTest::newRow("thread opened")
            << u("codex") << u("3F2A9C1E-7B4D-4E8A-9C0F-1A2B3C4D5E6F") << true << true
            << QStringLiteral("已复制，并已请求 Codex 打开任务 | Codex 已接收深链接请求，但 Velmora "
                              "无法确认是否定位正确。请先核对当前是否为原任务，然后按 Ctrl-V 粘贴，"
                              "检查恢复消息，最后按 Return 发送。")
            << u("codex://threads/3f2a9c1e-7b4d-4e8a-9c0f-1a2b3c4d5e6f");
        QTest::newRow("link refused")
            << u("codex") << u("3f2a9c1e-7b4d-4e8a-9c0f-1a2b3c4d5e6f") << true << false
            << QStringLiteral("恢复消息已复制，但未定位原任务 | Codex 深链接没有成功打开。请在 "
                              "Codex 中手动进入原任务，按 Ctrl-V 粘贴并检查后，再按 Return 发送。")
            << u("codex://threads/3f2a9c1e-7b4d-4e8a-9c0f-1a2b3c4d5e6f");
    }
    void copyAndReturnToCodex() {
        QFETCH(QString, agent);
        QFETCH(QString, taskID);
        QFETCH(bool, ticked);
        QFETCH(bool, acceptsURL);
        QFETCH(QString, shown);
        QFETCH(QString, url);
        GuiHarness harness;
        harness.add(receiptWith([&](json& r) {
            r["source"]["agent"] = agent.toStdString();
            r["source"]["task_id"] = taskID.toStdString();
            if (taskID.isEmpty()) r["source"].erase("task_id");
        }));
        const std::string key = "rc-1::item-1";
        if (ticked) {
            harness.tickStep(key, "step-1");
            harness.tickStep(key, "step-2");
            harness.reload();
        }
        FakeWorkspace& workspace = *harness.platform().workspace;
        workspace.acceptsURLs = acceptsURL;
        harness.model().copyAndReturnToCodex(harness.task(key));
        QCOMPARE(notice(harness), shown);
        QCOMPARE(workspace.openedURLs.size(), url.isEmpty() ? 0 : 1);
        if (!url.isEmpty()) QCOMPARE(workspace.openedURLs.front(), QUrl(url));
        QCOMPARE(workspace.codexOpenRequests, acceptsURL ? 0 : 1);
        QCOMPARE(harness.platform().pasteboard->content.has_value(), ticked);
        harness.settle();
        QCOMPARE(harness.task(key).status == TaskStatus::readyToResume, ticked);
    }

    void openCodexExplainsWhenItIsMissing() {
        GuiHarness harness;
        harness.model().openCodexOrExplain();
        QCOMPARE(notice(harness), QString());
        harness.platform().workspace->codexInstalled = false;
        harness.model().openCodexOrExplain();
        QCOMPARE(notice(harness),
                 QStringLiteral("没有找到 Codex | 请手动打开 Codex，再进入原任务并粘贴恢复消息。"));
    }
};

QTEST_GUILESS_MAIN(AppModelTest)
#include "AppModelTest.moc"
