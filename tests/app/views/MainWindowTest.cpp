// The real main window: sidebar, task list, menus, notices and phases.

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>

#include "app/model/DateTexts.h"
#include "app/model/PlatformTexts.h"
#include "app/views/DataEnvironmentRow.h"
#include "app/views/EmptyStatePanel.h"
#include "app/views/HistoryView.h"
#include "app/views/ScenePhaseMonitor.h"
#include "app/views/SidebarRow.h"
#include "app/views/SidebarView.h"
#include "app/views/TaskDetailView.h"
#include "app/views/TaskListModel.h"
#include "app/views/TaskListView.h"
#include "app/views/TaskRow.h"
#include "app/views/dialogs/DataCommandProgressDialog.h"
#include "app/views/widgets/AppAppearance.h"
#include "app/views/widgets/SymbolIcons.h"
#include "app/views/widgets/SymbolLabel.h"
#include "app/views/widgets/ToggleSwitch.h"
#include "app/views/widgets/WrappingText.h"
#include "core/receipt/InterventionCategory.h"
#include "views/GuiHarness.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {

template <typename Widget>
Widget* part(TaskListView& view, const char* name) {
    return view.findChild<Widget*>(QString::fromUtf8(name));
}

// What the list shows: its row titles, or the empty state's description.
QStringList shown(TaskListView& view) {
    if (view.findChild<QStackedWidget*>()->currentWidget()->objectName() ==
        QStringLiteral("taskListEmptyState")) {
        return {part<EmptyStatePanel>(view, "taskListEmptyState")->description()};
    }
    QStringList titles;
    for (int row = 0; row < view.rows()->rowCount(); ++row)
        titles << view.rows()->index(row).data().toString();
    return titles;
}

// Selects rows the way a Command-click does.
void selectRows(TaskListView& view, const std::vector<int>& rows) {
    QItemSelection selection;
    for (int row : rows) selection.select(view.rows()->index(row), view.rows()->index(row));
    view.listView()->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

QAction* menuItem(QMenu* menu, const char* title) {
    for (QAction* action : menu->actions()) {
        if (action->text() == QString::fromUtf8(title)) return action;
    }
    qFatal("no menu item %s", title);
}

// Some pixel of a 32-pixel rendering is not transparent, or is opaque red.
bool drawsSomething(const QIcon& icon, bool red = false) {
    const QImage image = icon.pixmap(QSize(32, 32)).toImage();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (red ? pixel.alpha() > 200 && pixel.red() > 200 && pixel.green() < 60
                    : pixel.alpha() > 0)
                return true;
        }
    }
    return false;
}

QString lastNoticeTitle(GuiHarness& harness) {
    harness.settle();
    return harness.dialogs().notices.isEmpty() ? QString()
                                               : harness.dialogs().notices.constLast().title;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void searchFiltersTheRowsTheEmptyStateSaysWhyAndRowsReadWhole() {
        GuiHarness harness;
        TaskListView& view = *harness.window().taskList();
        const QStringList invite = texts({"Codex 通过 MCP 提交的人工介入事项会自动出现在这里。"});
        const QStringList adjust = texts({"请调整搜索词或左侧筛选。"});
        QCOMPARE(shown(view), invite);
        auto* search = part<QLineEdit>(view, "searchField");
        QTest::keyClicks(search, QStringLiteral("  "));  // filters nothing, yet is a search here
        QCOMPARE(shown(view), adjust);
        verifyShown(view, texts({"没有匹配的事项"}));
        search->clear();
        QCOMPARE(shown(view), invite);

        harness.add(receiptOf("rc-a", "alpha", {"Renew the certificate", "Approve the release"}));
        harness.add(receiptOf("rc-b", "beta", {"Wait for DNS"}, "claude_code"));
        QCOMPARE(part<QLabel>(view, "taskListTitle")->text(), QStringLiteral("现在处理"));
        QTest::keyClicks(search, QStringLiteral(" claude "));
        QCOMPARE(shown(view), texts({"Wait for DNS"}));
        search->clear();
        harness.model().setSelection(SidebarSelection::project("beta"));
        QCOMPARE(part<QLabel>(view, "taskListTitle")->text(), QStringLiteral("beta"));
        QCOMPARE(shown(view), texts({"Wait for DNS"}));
        QCOMPARE(TaskListView::title(SidebarSelection::all()), QStringLiteral("全部事项"));
        QCOMPARE(TaskListView::title(SidebarSelection::history()), QStringLiteral("回执历史"));
        // A row reads as one element to assistive technology.
        harness.tickStep("rc-a::item-1", "step-1");
        harness.model().setSelection(SidebarSelection::project("alpha"));
        harness.reload();
        const TaskRecord& task = harness.task("rc-a::item-1");
        QCOMPARE(view.rows()->index(0).data(Qt::AccessibleTextRole).toString(),
                 QStringLiteral("Renew the certificate，处理中，项目 alpha，接收时间 ") +
                     DateTexts::receivedAtAccessibility(task.importedAt) +
                     QStringLiteral("，已完成 1 共 2 步"));
        QCOMPARE(TaskRow::stepProgress(task), QStringLiteral("1/2"));
    }

    // A long closed history is read a page at a time as the list scrolls, searched in the
    // store a stretch of rows at a time, counted without being read, and re-read up to where
    // it was when it changes.
    void aLongClosedHistoryIsReadPageByPageAsTheListScrolls() {
        GuiHarness harness;
        harness.add(receiptOf("rc-1", "alpha", {"Open"}));
        harness.executeSQL(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2500) "
            "INSERT INTO tasks SELECT 'rc-1::old-' || i, receipt_id, 'old-' || i, "
            "receipt_version, project_name, project_path, agent, receipt_state, "
            "source_task_title, source_task_id, source_locator, receipt_summary, category, "
            "priority, json_set(item_json, '$.title', 'Old ' || i), created_at, updated_at, "
            "imported_at, 'completed', NULL FROM tasks, n;");
        harness.reload();
        AppModel& model = harness.model();
        QCOMPARE(model.tasks().size(), std::size_t(1));
        QCOMPARE(model.sidebarCounts().all, 2501);
        TaskListView& view = *harness.window().taskList();
        QVERIFY(harness.showActive());
        model.setSelection(SidebarSelection::status(TaskStatus::completed));
        harness.settle();
        for (const int rows : {40, 80}) {
            QCOMPARE(view.rows()->rowCount(), rows);
            view.listView()->scrollToBottom();
            harness.settle();
        }
        QCOMPARE(shown(view).mid(38, 3), texts({"Old 39", "Old 40", "Old 41"}));
        model.setSearchText(QStringLiteral(" OLD 2499"));
        QVERIFY(model.canFetchMoreTasks() && view.rows()->rowCount() == 0);
        QTRY_COMPARE(shown(view), texts({"Old 2499"}));  // in the second stretch
        QVERIFY(!model.canFetchMoreTasks());
        QCOMPARE(model.selectedTaskKey(), OptionalTaskKey("rc-1::old-2499"));
        model.setSearchText(QString());
        view.listView()->scrollToBottom();
        harness.settle();
        harness.executeSQL("DELETE FROM tasks WHERE task_key = 'rc-1::old-50';");
        harness.reload();
        QCOMPARE(view.rows()->rowCount(), 80);
        QCOMPARE(shown(view).mid(48, 2), texts({"Old 49", "Old 51"}));
        QCOMPARE(model.sidebarCounts().byStatus.at(TaskStatus::completed), 2499);
    }

    void arrowsAndDeleteCountOnlyTheSelectedVisibleRowsAndAsksFirst() {
        GuiHarness harness;
        harness.add(receiptOf("rc-a", "alpha", {"One", "Two", "Three", "Four"}));
        TaskListView& view = *harness.window().taskList();
        auto* remove = part<QPushButton>(view, "deleteSelectedButton");
        auto* hint = part<SymbolLabel>(view, "multiSelectHint");
        QVERIFY(!remove->isVisibleTo(&view));
        QCOMPARE(hint->text(),
                 QStringLiteral("按住 %1 点选多个事项").arg(PlatformTexts::multiSelectKey()));
        // Arrow keys move the selection, the detail follows; Shift extends it.
        QCOMPARE(harness.window().detailView()->taskKey(), std::string("rc-a::item-1"));
        view.listView()->setFocus();
        QTest::keyClick(view.listView(), Qt::Key_Down);
        harness.settle();
        QCOMPARE(harness.window().detailView()->taskKey(), std::string("rc-a::item-2"));
        QTest::keyClick(view.listView(), Qt::Key_Down, Qt::ShiftModifier);
        harness.settle();
        QCOMPARE(harness.model().selectedTaskKeys(), (TaskKeySet{"rc-a::item-2", "rc-a::item-3"}));
        QCOMPARE(remove->text(), QStringLiteral("删除 2 项"));
        selectRows(view, {0, 1, 2});
        QVERIFY(remove->isVisibleTo(&view) && !hint->isVisibleTo(&view));
        QCOMPARE(remove->text(), QStringLiteral("删除 3 项"));
        QCOMPARE(remove->accessibleName(), QStringLiteral("删除 3 个选中事项"));
        // Snoozed from the detail pane: it leaves the list but stays selected.
        harness.model().setStatus("rc-a::item-2", TaskStatus::snoozed,
                                  currentTimestamp() + std::chrono::hours(1));
        harness.settle();
        QCOMPARE(shown(view), texts({"One", "Three", "Four"}));
        QCOMPARE(remove->text(), QStringLiteral("删除 2 项"));

        harness.dialogs().confirmAnswer = false;
        remove->click();
        QVERIFY(harness.model().isShowingDeleteConfirmation());
        harness.settle();
        QCOMPARE(
            harness.dialogs().confirmations.constFirst(),
            (ConfirmationRequest{
                QStringLiteral("永久删除 2 个事项？"),
                QStringLiteral("这些任务将从当前任务列表移除，无法通过“已取消”恢"
                               "复；对应回执仍会保留在“回执历史”中。删除前请确认选中数量正确。"),
                QStringLiteral("永久删除 2 项"), QStringLiteral("取消")}));
        QVERIFY(!harness.model().isShowingDeleteConfirmation());
        QCOMPARE(harness.model().tasks().size(), std::size_t(4));

        // Delete asks too; a task back in view while the dialog is open stays.
        harness.dialogs().confirmAnswer = true;
        harness.dialogs().duringDialog = [&harness] {
            harness.setStatus("rc-a::item-2", TaskStatus::pending);
            harness.model().refresh();
        };
        QVERIFY(harness.showActive());
        view.listView()->setFocus();
        QTest::keyClick(view.listView(), Qt::Key_Delete);
        harness.settle();
        QCOMPARE(shown(view), texts({"Two", "Four"}));
        QCOMPARE(harness.dialogs().notices.size(), 1);
        QVERIFY(!harness.model().isShowingDeleteConfirmation());

        // Typing a search clears the selection altogether.
        selectRows(view, {0, 1});
        QTest::keyClicks(part<QLineEdit>(view, "searchField"), QStringLiteral("o"));
        QVERIFY(harness.model().selectedTaskKeys().empty());
        QVERIFY(hint->isVisibleTo(&view));
    }

    void countsAndTheSelectedRowFollowTheModel() {
        GuiHarness harness;
        harness.add(receiptOf("rc-a", "alpha", {"A1", "A2", "A3"}));
        harness.add(receiptOf("rc-b", "beta", {"B1", "B2"}, "claude_code"));
        harness.add(receiptOf("rc-c", "Zeta", {"Z1"}));
        harness.setStatus("rc-a::item-2", TaskStatus::readyToResume);
        harness.setStatus("rc-a::item-3", TaskStatus::snoozed,
                          currentTimestamp() + std::chrono::hours(2));
        harness.setStatus("rc-b::item-1", TaskStatus::completed);
        harness.setStatus("rc-b::item-2", TaskStatus::cancelled);
        harness.reload();
        SidebarView& sidebar = *harness.window().sidebar();
        const auto counts = [&sidebar] {
            QStringList rows;  // "title count", projects in code point order
            for (int row = 0; row < sidebar.list()->count(); ++row) {
                const QVariant count = sidebar.list()->item(row)->data(SidebarRow::CountRole);
                rows << sidebar.list()->item(row)->text() +
                            (count.isValid() ? QLatin1Char(' ') + count.toString() : QString());
            }
            return rows;
        };
        const QStringList expected =
            texts({"需要关注", "现在处理 3", "全部事项 6", "按项目", "Zeta 1", "alpha 3", "按状态",
                   "待处理 2", "处理中 0", "已暂缓 1", "等待外部 0", "待回传 Agent 1", "已完成 1",
                   "已取消 1", "辅助", "回执历史 3"});
        QCOMPARE(counts(), expected);
        QCOMPARE(sidebar.sectionTitles(),
                 texts({"当前任务库", "需要关注", "按项目", "按状态", "辅助"}));
        QCOMPARE(sidebar.itemFor(SidebarSelection::all())->data(Qt::AccessibleTextRole).toString(),
                 QStringLiteral("全部事项，6 项"));
        // The search narrows the list, never a count.
        harness.model().setSearchText(QStringLiteral("A1"));
        harness.settle();
        QCOMPARE(harness.model().visibleTasks().size(), std::size_t(1));
        QCOMPARE(counts(), expected);
        // The selected row is the model's selection, both ways.
        harness.model().setSearchText(QString());
        MainWindow& window = harness.window();
        QCOMPARE(sidebar.list()->currentItem(), sidebar.itemFor(SidebarSelection::attention()));
        sidebar.list()->setCurrentItem(sidebar.itemFor(SidebarSelection::history()));
        harness.settle();
        QCOMPARE(harness.model().selection(), SidebarSelection::history());
        QCOMPARE(window.middleColumn()->currentWidget(), window.historyView());
        QCOMPARE(window.detailColumn()->currentWidget()->objectName(),
                 QStringLiteral("historyHelpView"));
        sidebar.list()->setCurrentItem(sidebar.itemFor(SidebarSelection::project("Zeta")));
        harness.settle();
        QCOMPARE(harness.model().selection(), SidebarSelection::project("Zeta"));
        QCOMPARE(window.middleColumn()->currentWidget(), window.taskList());
        QCOMPARE(window.detailColumn()->currentWidget()->objectName(),
                 QStringLiteral("taskDetailView"));
        harness.model().setSelection(SidebarSelection::status(TaskStatus::cancelled));
        QCOMPARE(sidebar.list()->currentItem(),
                 sidebar.itemFor(SidebarSelection::status(TaskStatus::cancelled)));
        // Arrow keys skip the section titles.
        harness.model().setSelection(SidebarSelection::all());
        QTest::keyClick(sidebar.list(), Qt::Key_Down);
        QCOMPARE(harness.model().selection(), SidebarSelection::project("Zeta"));
        QTest::keyClick(sidebar.list(), Qt::Key_Down);
        QTest::keyClick(sidebar.list(), Qt::Key_Down);
        QCOMPARE(harness.model().selection(), SidebarSelection::status(TaskStatus::pending));
        // Closed tasks only hide their project.
        for (const char* key : {"rc-a::item-1", "rc-a::item-2", "rc-a::item-3", "rc-c::item-1"}) {
            harness.setStatus(key, TaskStatus::completed);
        }
        harness.reload();
        QVERIFY(!sidebar.sectionTitles().contains(QStringLiteral("按项目")));
        QVERIFY(counts().contains(QStringLiteral("全部事项 6")) &&
                counts().contains(QStringLiteral("现在处理 0")));
    }

    void initTestCase() { qputenv("TZ", "UTC"); }

    void menusShortcutsAndTheStoreRowReachTheCommands() {
        GuiHarness harness;
        MainWindow& window = harness.window();
        const QString root = qs(harness.root().string());
        auto* row = window.sidebar()->findChild<DataEnvironmentRow*>();
        QCOMPARE(row->accessibleName(), QStringLiteral("当前任务库，隔离测试库，路径 ") + root);
        QCOMPARE(row->toolTip(), root);
        QCOMPARE(
            row->findChild<WrappingText*>(QStringLiteral("dataEnvironmentPath"))->toPlainText(),
            root);
        QCOMPARE(window.windowTitle(), harness.model().windowTitle());
        QCOMPARE(window.size(), QSize(1280, 820));
        QCOMPARE(window.centralWidget()->minimumSize(), QSize(940, 640));
        QMenu* file = window.menuBar()->findChild<QMenu*>(QStringLiteral("fileMenu"));
        QCOMPARE(file->actions()[1]->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V));
        file->actions()[1]->trigger();
        QCOMPARE(lastNoticeTitle(harness), QStringLiteral("剪贴板没有 JSON"));
        QVERIFY(harness.showActive());
        QTest::keyClick(&window, Qt::Key_R, Qt::ControlModifier);  // a manual scan
        QCOMPARE(lastNoticeTitle(harness), QStringLiteral("收件箱已检查"));
        QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
        harness.settle();
        QCOMPARE(harness.dialogs().filePanelCount, 1);

        QMenu* menu = window.actionMenu();
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator()) QVERIFY(drawsSomething(action->icon()));
        }
        const QString key = PlatformTexts::multiSelectKey();
        verifyShown(
            window,
            texts({"恢复入口", "从剪贴板导入 JSON", "扫描恢复收件箱", "从数据归档恢复…",
                   "创建数据库备份", "从数据库备份恢复…", "连接 Agent…", "恢复入口：导入 JSON…",
                   "恢复入口：从剪贴板导入 JSON", "恢复入口：扫描收件箱", "退出 Velmora",
                   "搜索项目、事项或 Agent"}) +
                QStringList{QStringLiteral("按住 %1 点选多个事项后，可一次性删除").arg(key),
                            QStringLiteral("永久删除选中的事项；按住 %1 可继续多选").arg(key)});
        QCOMPARE(window.actionMenuButton()->toolTip(), QStringLiteral("当前：隔离测试库\n") + root);
        menuItem(menu, "打开恢复收件箱")->trigger();
        menuItem(menu, "在文件管理器中显示当前任务库")->trigger();
        QCOMPARE(harness.platform().workspace->openedFolders,
                 (QStringList{root + QStringLiteral("/inbox"), root}));
        menuItem(menu, "查看回执历史")->trigger();
        QCOMPARE(harness.model().selection(), SidebarSelection::history());
        menuItem(menu, "导入 JSON 文件…")->trigger();
        QVERIFY(harness.model().isShowingImporter());
        // Agents connect from the menu and the empty list, with this KESTRIN_HOME.
        harness.window().findChild<QAction*>(QStringLiteral("connectAgentsCommand"))->trigger();
        emit harness.window()
            .findChild<EmptyStatePanel*>(QStringLiteral("taskListEmptyState"))
            ->linkActivated();
        QCOMPARE(harness.dialogs().agentConnections.size(), std::size_t(2));
        const auto& entries = harness.dialogs().agentConnections.front();
        QCOMPARE(entries.size(), std::size_t(3));
        QCOMPARE(entries[0].agent, std::string("codex"));
        QVERIFY(entries[2].text.find("\"KESTRIN_HOME\": \"" + harness.root().string()) !=
                std::string::npos);
        QCOMPARE(*harness.platform().pasteboard->content, qs(entries[0].text));
    }

    void withoutAStoreTheStartUpFailureShowsOnceTheWindowIs() {
        QTemporaryDir directory;
        const QString file = directory.filePath(QStringLiteral("blocker"));
        writeFile(file.toStdString(), "x");
        GuiHarness harness({{"KESTRIN_HOME", (file + QStringLiteral("/data")).toStdString()}});
        menuItem(harness.window().actionMenu(), "打开恢复收件箱")->trigger();
        QVERIFY(harness.platform().workspace->openedFolders.isEmpty());
        QVERIFY(harness.dialogs().notices.isEmpty());
        harness.settle();
        QCOMPARE(harness.dialogs().notices.size(), 1);
        QCOMPARE(harness.window().sidebar()->findChild<DataEnvironmentRow*>()->accessibleName(),
                 QStringLiteral("当前任务库，自定义任务库，路径 任务库尚未连接"));
        QCOMPARE(harness.window().actionMenuHelp(),
                 QStringLiteral("当前：自定义任务库\n任务库尚未连接"));
    }

    void noticesShowOneAfterAnotherAndTheImportPanelReports() {
        GuiHarness harness;
        harness.model().showNotice(QStringLiteral("First"), QStringLiteral("one"));
        QVERIFY(harness.dialogs().notices.isEmpty());  // after the operation, never inside it
        harness.dialogs().duringDialog = [&harness] {
            harness.model().showNotice(QStringLiteral("Second"), QStringLiteral("two"));
        };
        harness.settle();
        QCOMPARE(harness.dialogs().notices.size(), 2);
        QCOMPARE(harness.dialogs().notices[0].title, QStringLiteral("First"));
        QCOMPARE(harness.dialogs().notices[1].title + harness.dialogs().notices[1].message,
                 QStringLiteral("Secondtwo"));
        QVERIFY(!harness.model().notice());
        // The import panel's files, none, or its failure.
        harness.dialogs().chosenFiles = {guiTestData("claude-push-certificate.json"),
                                         guiTestData("opencode-release-approval.json")};
        harness.model().setShowingImporter(true);
        QCOMPARE(lastNoticeTitle(harness), QStringLiteral("导入结果"));
        QVERIFY(!harness.model().isShowingImporter());
        QCOMPARE(harness.model().tasks().size(), std::size_t(2));
        harness.dialogs().chosenFiles.clear();
        harness.model().setShowingImporter(true);
        harness.settle();
        QCOMPARE(harness.dialogs().notices.size(), 3);
        harness.dialogs().filePanelError = QStringLiteral("The folder is not readable.");
        harness.model().setShowingImporter(true);
        QCOMPARE(lastNoticeTitle(harness), QStringLiteral("没有导入文件"));
        QCOMPARE(harness.dialogs().notices.constLast().message,
                 QStringLiteral("The folder is not readable."));
    }

    void theWindowsPhaseDrivesWatching() {
        GuiHarness harness;
        MainWindow& window = harness.window();
        AppModel& model = harness.model();
        ToggleSwitch* watch = window.sidebar()->watchSwitch();
        QVERIFY(watch->isChecked());
        QCOMPARE(watch->accessibleName(), QStringLiteral("自动接收与刷新"));
        watch->click();
        QVERIFY(!model.isWatching() && !model.isTimerRunning());
        window.show();  // starts watching even when switched off
        QVERIFY(model.isTimerRunning());
        ScenePhaseMonitor& phase = *window.scenePhase();
        phase.applicationStateChanged(Qt::ApplicationActive);
        phase.applicationStateChanged(Qt::ApplicationHidden);
        QCOMPARE(phase.phase(), ScenePhaseMonitor::Phase::background);
        QVERIFY(!model.isTimerRunning() && !model.windowVisible());
        model.setWatching(false);
        phase.applicationStateChanged(Qt::ApplicationInactive);
        QVERIFY(model.windowVisible() && !model.isTimerRunning());
        model.setWatching(true);
        QVERIFY(watch->isChecked());
        // A minimised window counts as the background too.
        window.setWindowState(Qt::WindowMinimized);
        QCOMPARE(phase.phase(), ScenePhaseMonitor::Phase::background);
        QVERIFY(!model.isTimerRunning());
        window.setWindowState(Qt::WindowNoState);
        QCOMPARE(phase.phase(), ScenePhaseMonitor::Phase::inactive);
        QVERIFY(model.isTimerRunning());
        QCOMPARE(ScenePhaseMonitor::phaseFor(Qt::ApplicationSuspended, false),
                 ScenePhaseMonitor::Phase::background);
        QCOMPARE(ScenePhaseMonitor::phaseFor(Qt::ApplicationActive, false),
                 ScenePhaseMonitor::Phase::active);
    }

    // The view helpers: the progress dialog, appearance, icons and locale times.
    void progressAppearanceIconsAndTimes() {
        GuiHarness harness;
        DataCommandProgressDialog& dialog = *harness.window().progressDialog();
        using Command = DataCommandProgress::Command;
        QCOMPARE(DataCommandProgressDialog::labelFor(Command::exportArchive),
                 QStringLiteral("正在导出数据归档…"));
        emit harness.model().dataCommandProgressChanged({Command::restoreArchive, 0, 0, false});
        QCOMPARE(dialog.labelText() + QString::number(dialog.maximum()),
                 QStringLiteral("正在恢复数据归档…0"));
        emit harness.model().dataCommandProgressChanged({Command::restoreArchive, 3, 8, false});
        QCOMPARE(QPair(dialog.value(), dialog.maximum()), QPair(3, 8));
        emit harness.model().dataCommandProgressChanged({Command::restoreArchive, 8, 8, true});
        QVERIFY(!dialog.isVisible());

        using Scheme = AppAppearance::ColorScheme;
        QCOMPARE(AppAppearance::forcedColorScheme(QStringLiteral("DARK")), Scheme::dark);
        QCOMPARE(AppAppearance::forcedColorScheme(QStringLiteral("Light")), Scheme::light);
        for (const auto& other :
             {std::optional<QString>(QStringLiteral(" dark")), std::optional<QString>()}) {
            QCOMPARE(AppAppearance::forcedColorScheme(other), std::nullopt);
        }
        const QPalette dark = AppAppearance::palette(Scheme::dark);
        QVERIFY(AppAppearance::isDark(dark) &&
                !AppAppearance::isDark(AppAppearance::palette(Scheme::light)));
        QCOMPARE(dark.color(QPalette::Highlight),
                 AppAppearance::color(AppAppearance::Tint::orange, dark));

        std::vector<std::string> used{"circle"};
        for (const auto& status : allCases<TaskStatus>()) used.emplace_back(status.systemImage);
        for (const auto& category : allCases<InterventionCategory>())
            used.emplace_back(category.systemImage);
        for (const std::string& name : used) {
            QVERIFY2(SymbolIcons::hasSymbol(name) && drawsSomething(SymbolIcons::icon(name)) &&
                         drawsSomething(SymbolIcons::icon(name, Qt::red)),
                     name.c_str());
        }
        QVERIFY(!SymbolIcons::hasSymbol("no.such.symbol"));
        QVERIFY(drawsSomething(SymbolIcons::icon("no.such.symbol")) &&
                drawsSomething(SymbolIcons::applicationIcon()));
        QVERIFY(drawsSomething(SymbolIcons::icon("circle", Qt::red), true));  // the colour is drawn

        const QLocale english(QLocale::English, QLocale::UnitedStates);
        const QLocale chinese(QLocale::Chinese, QLocale::China);
        const Timestamp evening = *parseKestrinISO8601("2026-07-27T17:05:00Z");
        const Timestamp morning = *parseKestrinISO8601("2026-07-27T09:30:00Z");
        QCOMPARE(QStringList({DateTexts::receivedAt(evening, english),
                              DateTexts::receivedAt(evening, chinese),
                              DateTexts::receivedAtAccessibility(morning, english),
                              DateTexts::receivedAtAccessibility(morning, chinese),
                              DateTexts::historyTime(morning, english),
                              DateTexts::historyTime(morning, chinese)}),
                 texts({"07/27/2026 5:05 PM", "2026/07/27 17:05", "Jul 27, 2026 9:30 AM",
                        "2026年7月27日 09:30", "Jul 27 9:30 AM", "7月27日 09:30"}));
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
