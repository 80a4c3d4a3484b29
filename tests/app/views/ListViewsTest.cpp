// The sidebar and the task list of the real window.

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>

#include "app/model/DateTexts.h"
#include "app/model/PlatformTexts.h"
#include "app/views/DataEnvironmentRow.h"
#include "app/views/EmptyStatePanel.h"
#include "app/views/HistoryView.h"
#include "app/views/SidebarRow.h"
#include "app/views/SidebarView.h"
#include "app/views/TaskDetailView.h"
#include "app/views/TaskListModel.h"
#include "app/views/TaskListView.h"
#include "app/views/TaskRow.h"
#include "app/views/widgets/SymbolLabel.h"
#include "app/views/widgets/ToggleSwitch.h"
#include "app/views/widgets/WrappingText.h"
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

}  // namespace

class ListViewsTest : public QObject {
    Q_OBJECT

private slots:
    void searchFiltersTheRowsAndTheEmptyStateSaysWhy() {
        GuiHarness harness;
        TaskListView& view = *harness.window().taskList();
        const QStringList invite = texts({"Codex 通过 MCP 提交的人工介入事项会自动出现在这里。"});
        const QStringList adjust = texts({"请调整搜索词或左侧筛选。"});
        QCOMPARE(shown(view), invite);
        QCOMPARE(part<EmptyStatePanel>(view, "taskListEmptyState")->title(),
                 QStringLiteral("没有匹配的事项"));
        auto* search = part<QLineEdit>(view, "searchField");
        QCOMPARE(search->placeholderText(), QStringLiteral("搜索项目、事项或 Agent"));
        QTest::keyClicks(search, QStringLiteral("  "));  // filters nothing, yet is a search here
        QCOMPARE(harness.model().searchText(), QStringLiteral("  "));
        QCOMPARE(shown(view), adjust);
        search->clear();
        QCOMPARE(shown(view), invite);

        harness.add(receiptOf("rc-a", "alpha", {"Renew the certificate", "Approve the release"}));
        harness.add(receiptOf("rc-b", "beta", {"Wait for DNS"}, "claude_code"));
        QCOMPARE(part<QLabel>(view, "taskListTitle")->text(), QStringLiteral("现在处理"));
        QCOMPARE(shown(view).size(), 3);
        QTest::keyClicks(search, QStringLiteral(" claude "));
        QCOMPARE(shown(view), texts({"Wait for DNS"}));
        search->setText(QStringLiteral("nothing like it"));
        QCOMPARE(shown(view), adjust);
        search->clear();
        harness.model().setSelection(SidebarSelection::project("beta"));
        QCOMPARE(part<QLabel>(view, "taskListTitle")->text(), QStringLiteral("beta"));
        QCOMPARE(shown(view), texts({"Wait for DNS"}));
        QCOMPARE(TaskListView::title(SidebarSelection::all()), QStringLiteral("全部事项"));
        QCOMPARE(TaskListView::title(SidebarSelection::history()), QStringLiteral("回执历史"));
        QCOMPARE(TaskListView::title(SidebarSelection::status(TaskStatus::waitingExternal)),
                 QStringLiteral("等待外部"));
    }

    void rowsReadAsOneElement() {
        GuiHarness harness;
        harness.add(receiptOf("rc-a", "alpha", {"Renew the certificate"}));
        harness.tickStep("rc-a::item-1", "step-1");
        harness.reload();
        const TaskRecord& task = harness.task("rc-a::item-1");
        QCOMPARE(
            harness.window().taskList()->rows()->index(0).data(Qt::AccessibleTextRole).toString(),
            QStringLiteral("Renew the certificate，处理中，项目 alpha，接收时间 ") +
                DateTexts::receivedAtAccessibility(task.importedAt) +
                QStringLiteral("，已完成 1 共 2 步"));
        QCOMPARE(TaskRow::stepProgress(task), QStringLiteral("1/2"));
    }

    void deleteCountsOnlyTheSelectedVisibleRowsAndAsksFirst() {
        GuiHarness harness;
        harness.add(receiptOf("rc-a", "alpha", {"One", "Two", "Three", "Four"}));
        TaskListView& view = *harness.window().taskList();
        auto* remove = part<QPushButton>(view, "deleteSelectedButton");
        auto* hint = part<SymbolLabel>(view, "multiSelectHint");
        const QString key = PlatformTexts::multiSelectKey();
        QVERIFY(!remove->isVisibleTo(&view));
        QCOMPARE(hint->text(), QStringLiteral("按住 ") + key + QStringLiteral(" 点选多个事项"));
        QCOMPARE(hint->toolTip(),
                 QStringLiteral("按住 ") + key + QStringLiteral(" 点选多个事项后，可一次性删除"));
        selectRows(view, {0, 1, 2});
        QVERIFY(remove->isVisibleTo(&view) && !hint->isVisibleTo(&view));
        QCOMPARE(remove->text(), QStringLiteral("删除 3 项"));
        QCOMPARE(remove->accessibleName(), QStringLiteral("删除 3 个选中事项"));
        QCOMPARE(remove->toolTip(),
                 QStringLiteral("永久删除选中的事项；按住 ") + key + QStringLiteral(" 可继续多选"));
        // Snoozed from the detail pane: it leaves the list but stays selected.
        harness.model().setStatus("rc-a::item-2", TaskStatus::snoozed,
                                  currentTimestamp() + std::chrono::hours(1));
        harness.settle();
        QCOMPARE(shown(view), texts({"One", "Three", "Four"}));
        QCOMPARE(harness.model().selectedTaskKeys().size(), std::size_t(3));
        QCOMPARE(remove->text(), QStringLiteral("删除 2 项"));

        harness.dialogs().confirmAnswer = false;
        remove->click();
        QVERIFY(harness.model().isShowingDeleteConfirmation());
        harness.settle();
        QCOMPARE(
            harness.dialogs().confirmations.constFirst(),
            (ConfirmationRequest{
                QStringLiteral("永久删除 2 个事项？"),
                QStringLiteral("这些任务将从当前任务列表移除，无法通过“已取消”恢复；对应回执仍会"
                               "保留在“回执历史”中。删除前请确认选中数量正确。"),
                QStringLiteral("永久删除 2 项"), QStringLiteral("取消")}));
        QVERIFY(!harness.model().isShowingDeleteConfirmation());
        QCOMPARE(harness.model().tasks().size(), std::size_t(4));

        // The Delete key asks the same; a task that comes back into view while
        // the dialog is open is not deleted.
        harness.dialogs().confirmAnswer = true;
        harness.dialogs().duringDialog = [&harness] {
            harness.setStatus("rc-a::item-2", TaskStatus::pending);
            harness.model().refresh();
        };
        harness.window().show();
        QApplication::setActiveWindow(&harness.window());
        view.listView()->setFocus();
        QVERIFY(QTest::qWaitForWindowActive(&harness.window()));
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

    void arrowKeysMoveTheSelectionAndTheDetailFollows() {
        GuiHarness harness;
        harness.add(receiptOf("rc-a", "alpha", {"One", "Two", "Three"}));
        TaskListView& view = *harness.window().taskList();
        QCOMPARE(harness.window().detailView()->taskKey(), std::string("rc-a::item-1"));
        view.listView()->setFocus();
        QTest::keyClick(view.listView(), Qt::Key_Down);
        harness.settle();
        QCOMPARE(harness.model().selectedTaskKeys(), (TaskKeySet{"rc-a::item-2"}));
        QCOMPARE(harness.window().detailView()->taskKey(), std::string("rc-a::item-2"));
        QTest::keyClick(view.listView(), Qt::Key_Down, Qt::ShiftModifier);
        harness.settle();
        QCOMPARE(harness.model().selectedTaskKeys(), (TaskKeySet{"rc-a::item-2", "rc-a::item-3"}));
        QCOMPARE(part<QPushButton>(view, "deleteSelectedButton")->text(),
                 QStringLiteral("删除 2 项"));
    }

    void countsComeFromAllTasksInSections() {
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
        // Closed tasks only hide their project.
        for (const char* key : {"rc-a::item-1", "rc-a::item-2", "rc-a::item-3", "rc-c::item-1"}) {
            harness.setStatus(key, TaskStatus::completed);
        }
        harness.reload();
        QVERIFY(!sidebar.sectionTitles().contains(QStringLiteral("按项目")));
        QVERIFY(counts().contains(QStringLiteral("全部事项 6")) &&
                counts().contains(QStringLiteral("现在处理 0")));
    }

    void selectedRowIsTheModelsSelection() {
        GuiHarness harness;
        harness.add(receiptOf("rc-a", "alpha", {"A1"}));
        MainWindow& window = harness.window();
        SidebarView& sidebar = *window.sidebar();
        QCOMPARE(sidebar.list()->currentItem(), sidebar.itemFor(SidebarSelection::attention()));
        sidebar.list()->setCurrentItem(sidebar.itemFor(SidebarSelection::history()));
        harness.settle();
        QCOMPARE(harness.model().selection(), SidebarSelection::history());
        QCOMPARE(window.middleColumn()->currentWidget(), window.historyView());
        QCOMPARE(window.detailColumn()->currentWidget()->objectName(),
                 QStringLiteral("historyHelpView"));
        sidebar.list()->setCurrentItem(sidebar.itemFor(SidebarSelection::project("alpha")));
        harness.settle();
        QCOMPARE(harness.model().selection(), SidebarSelection::project("alpha"));
        QCOMPARE(window.middleColumn()->currentWidget(), window.taskList());
        QCOMPARE(window.detailColumn()->currentWidget()->objectName(),
                 QStringLiteral("taskDetailView"));
        harness.model().setSelection(SidebarSelection::status(TaskStatus::cancelled));
        QCOMPARE(sidebar.list()->currentItem(),
                 sidebar.itemFor(SidebarSelection::status(TaskStatus::cancelled)));

        // Arrow keys skip the section titles.
        harness.model().setSelection(SidebarSelection::all());
        QTest::keyClick(sidebar.list(), Qt::Key_Down);
        QCOMPARE(harness.model().selection(), SidebarSelection::project("alpha"));
        QTest::keyClick(sidebar.list(), Qt::Key_Down);
        QCOMPARE(harness.model().selection(), SidebarSelection::status(TaskStatus::pending));
        QTest::keyClick(sidebar.list(), Qt::Key_Up);
        QTest::keyClick(sidebar.list(), Qt::Key_Up);
        QCOMPARE(harness.model().selection(), SidebarSelection::all());
    }

    void dataEnvironmentRowNamesTheStore() {
        GuiHarness harness;
        auto* row = harness.window().sidebar()->findChild<DataEnvironmentRow*>();
        const QString path = qs(harness.root().string());
        QCOMPARE(row->accessibleName(), QStringLiteral("当前任务库，隔离测试库，路径 ") + path);
        QCOMPARE(row->toolTip(), path);
        QCOMPARE(
            row->findChild<WrappingText*>(QStringLiteral("dataEnvironmentPath"))->toPlainText(),
            path);

        QTemporaryDir directory;
        const std::filesystem::path blocker =
            directory.filePath(QStringLiteral("file")).toStdString();
        writeFile(blocker, "x");
        GuiHarness unreachable({{"KESTRIN_HOME", (blocker / "data").string()}});
        QCOMPARE(unreachable.window().sidebar()->findChild<DataEnvironmentRow*>()->accessibleName(),
                 QStringLiteral("当前任务库，自定义任务库，路径 任务库尚未连接"));
        QCOMPARE(unreachable.window().actionMenuHelp(),
                 QStringLiteral("当前：自定义任务库\n任务库尚未连接"));
        QCOMPARE(DataEnvironmentRow::symbol(TaskDataEnvironment::custom),
                 "externaldrive.badge.questionmark");
    }

    void watchSwitchFollowsAndSetsWatching() {
        GuiHarness harness;
        ToggleSwitch* watch = harness.window().sidebar()->watchSwitch();
        QVERIFY(watch->isChecked());
        QCOMPARE(watch->accessibleName(), QStringLiteral("自动接收与刷新"));
        watch->click();
        QVERIFY(!harness.model().isWatching() && !harness.model().isTimerRunning());
        harness.model().setWatching(true);
        QVERIFY(watch->isChecked());
    }
};

QTEST_MAIN(ListViewsTest)
#include "ListViewsTest.moc"
