#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>

#include "app/model/DateTexts.h"
#include "app/views/EmptyStatePanel.h"
#include "app/model/PlatformTexts.h"
#include "app/views/widgets/SymbolLabel.h"
#include "app/views/TaskDetailView.h"
#include "app/views/TaskListModel.h"
#include "app/views/TaskListView.h"
#include "app/views/TaskRow.h"
#include "views/GuiHarness.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {

QString emptyDescription(TaskListView& view) {
    return view.findChild<EmptyStatePanel*>(QStringLiteral("taskListEmptyState"))->description();
}

bool showsEmptyState(TaskListView& view) {
    return view.findChild<QStackedWidget*>()->currentWidget()->objectName() ==
           QStringLiteral("taskListEmptyState");
}

QPushButton* deleteButton(TaskListView& view) {
    return view.findChild<QPushButton*>(QStringLiteral("deleteSelectedButton"));
}

SymbolLabel* multiSelectHint(TaskListView& view) {
    return view.findChild<SymbolLabel*>(QStringLiteral("multiSelectHint"));
}

// Selects rows of the list the way a Command-click does.
void selectRows(TaskListView& view, const std::vector<int>& rows) {
    QItemSelection selection;
    for (int row : rows) {
        const QModelIndex index = view.rows()->index(row);
        selection.select(index, index);
    }
    view.listView()->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

QStringList visibleTitles(TaskListView& view) {
    QStringList titles;
    for (int row = 0; row < view.rows()->rowCount(); ++row) {
        titles << view.rows()->index(row).data().toString();
    }
    return titles;
}

}  // namespace

class TaskListViewTest : public QObject {
    Q_OBJECT

  private slots:
    void emptyStoreInvitesAgentsAndAnySearchTextAsksToAdjust() {
        GuiHarness harness;
        TaskListView& view = *harness.window().taskList();
        QVERIFY(showsEmptyState(view));
        auto* panel = view.findChild<EmptyStatePanel*>(QStringLiteral("taskListEmptyState"));
        QCOMPARE(panel->title(), QStringLiteral("没有匹配的事项"));
        QCOMPARE(emptyDescription(view),
                 QStringLiteral("Codex 通过 MCP 提交的人工介入事项会自动出现在这里。"));
        auto* search = view.findChild<QLineEdit*>(QStringLiteral("searchField"));
        QCOMPARE(search->placeholderText(), QStringLiteral("搜索项目、事项或 Agent"));

        // Only spaces filter nothing, yet count as a search here.
        QTest::keyClicks(search, QStringLiteral("  "));
        QCOMPARE(harness.model().searchText(), QStringLiteral("  "));
        QCOMPARE(emptyDescription(view), QStringLiteral("请调整搜索词或左侧筛选。"));
        search->clear();
        QCOMPARE(emptyDescription(view),
                 QStringLiteral("Codex 通过 MCP 提交的人工介入事项会自动出现在这里。"));
    }

    void searchFiltersTheRowsAndTheTitleFollowsTheFilter() {
        GuiHarness harness;
        harness.add(receiptOf("rc-a", "alpha", {"Renew the certificate", "Approve the release"}));
        harness.add(receiptOf("rc-b", "beta", {"Wait for DNS"}, "claude_code"));
        TaskListView& view = *harness.window().taskList();
        QCOMPARE(view.findChild<QLabel*>(QStringLiteral("taskListTitle"))->text(),
                 QStringLiteral("现在处理"));
        QCOMPARE(visibleTitles(view).size(), 3);

        auto* search = view.findChild<QLineEdit*>(QStringLiteral("searchField"));
        QTest::keyClicks(search, QStringLiteral(" claude "));
        QCOMPARE(visibleTitles(view), texts({"Wait for DNS"}));
        search->setText(QStringLiteral("nothing like it"));
        QVERIFY(showsEmptyState(view));
        QCOMPARE(emptyDescription(view), QStringLiteral("请调整搜索词或左侧筛选。"));
        search->clear();

        harness.model().setSelection(SidebarSelection::project("beta"));
        QCOMPARE(view.findChild<QLabel*>(QStringLiteral("taskListTitle"))->text(),
                 QStringLiteral("beta"));
        QCOMPARE(visibleTitles(view), texts({"Wait for DNS"}));
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
        TaskListView& view = *harness.window().taskList();
        QCOMPARE(view.rows()->index(0).data(Qt::AccessibleTextRole).toString(),
                 QStringLiteral("Renew the certificate，处理中，项目 alpha，接收时间 ") +
                     DateTexts::receivedAtAccessibility(task.importedAt) +
                     QStringLiteral("，已完成 1 共 2 步"));
        QCOMPARE(TaskRow::stepProgress(task), QStringLiteral("1/2"));
    }

    void deleteCountsOnlyTheSelectedVisibleRows() {
        GuiHarness harness;
        harness.add(receiptOf("rc-a", "alpha", {"One", "Two", "Three"}));
        TaskListView& view = *harness.window().taskList();
        const QString key = PlatformTexts::multiSelectKey();
        QVERIFY(!deleteButton(view)->isVisibleTo(&view));
        QCOMPARE(multiSelectHint(view)->text(),
                 QStringLiteral("按住 ") + key + QStringLiteral(" 点选多个事项"));
        QCOMPARE(multiSelectHint(view)->toolTip(),
                 QStringLiteral("按住 ") + key + QStringLiteral(" 点选多个事项后，可一次性删除"));

        selectRows(view, {0, 1, 2});
        QCOMPARE(harness.model().selectedTaskKeys().size(), std::size_t(3));
        QVERIFY(deleteButton(view)->isVisibleTo(&view));
        QVERIFY(!multiSelectHint(view)->isVisibleTo(&view));
        QCOMPARE(deleteButton(view)->text(), QStringLiteral("删除 3 项"));
        QCOMPARE(deleteButton(view)->accessibleName(), QStringLiteral("删除 3 个选中事项"));
        QCOMPARE(deleteButton(view)->toolTip(),
                 QStringLiteral("永久删除选中的事项；按住 ") + key + QStringLiteral(" 可继续多选"));

        // Snoozed from the detail pane: it leaves the list but stays selected.
        harness.model().setStatus("rc-a::item-2", TaskStatus::snoozed,
                                  currentTimestamp() + std::chrono::hours(1));
        harness.settle();
        QCOMPARE(visibleTitles(view), texts({"One", "Three"}));
        QCOMPARE(harness.model().selectedTaskKeys().size(), std::size_t(3));
        QCOMPARE(deleteButton(view)->text(), QStringLiteral("删除 2 项"));

        // Typing a search clears the selection altogether.
        QTest::keyClicks(view.findChild<QLineEdit*>(QStringLiteral("searchField")),
                         QStringLiteral("o"));
        QVERIFY(harness.model().selectedTaskKeys().empty());
        QVERIFY(!harness.model().selectedTaskKey() ||
                harness.model().selectedTaskKey() == std::optional<std::string>("rc-a::item-1"));
        QVERIFY(multiSelectHint(view)->isVisibleTo(&view));
    }

    void deleteAsksWithTheCountAndDeletesOnlyOnConfirmation() {
        GuiHarness harness;
        harness.add(receiptOf("rc-a", "alpha", {"One", "Two", "Three"}));
        TaskListView& view = *harness.window().taskList();
        selectRows(view, {0, 2});

        harness.dialogs().confirmAnswer = false;
        deleteButton(view)->click();
        QVERIFY(harness.model().isShowingDeleteConfirmation());
        harness.settle();
        QCOMPARE(harness.dialogs().confirmations.size(), 1);
        const ConfirmationRequest& asked = harness.dialogs().confirmations.constFirst();
        QCOMPARE(asked.messageText, QStringLiteral("永久删除 2 个事项？"));
        QCOMPARE(asked.informativeText,
                 QStringLiteral("这些任务将从当前任务列表移除，无法通过“已取消”恢复；对应回执仍会"
                                "保留在“回执历史”中。删除前请确认选中数量正确。"));
        QCOMPARE(asked.confirmButton, QStringLiteral("永久删除 2 项"));
        QCOMPARE(asked.cancelButton, QStringLiteral("取消"));
        QVERIFY(!harness.model().isShowingDeleteConfirmation());
        QCOMPARE(harness.model().tasks().size(), std::size_t(3));

        // The Delete key asks the same, from the list.
        harness.dialogs().confirmAnswer = true;
        harness.window().show();
        QApplication::setActiveWindow(&harness.window());
        view.listView()->setFocus();
        QVERIFY(QTest::qWaitForWindowActive(&harness.window()));
        QTest::keyClick(view.listView(), Qt::Key_Delete);
        harness.settle();
        QCOMPARE(visibleTitles(view), texts({"Two"}));
        QCOMPARE(harness.dialogs().notices.constLast().title, QStringLiteral("已删除 2 项"));
        QVERIFY(!harness.model().isShowingDeleteConfirmation());
    }

    void taskThatComesIntoViewDuringTheDialogIsNotDeleted() {
        GuiHarness harness;
        harness.add(receiptOf("rc-a", "alpha", {"One", "Two"}));
        TaskListView& view = *harness.window().taskList();
        selectRows(view, {0, 1});
        harness.model().setStatus("rc-a::item-2", TaskStatus::waitingExternal, std::nullopt);
        harness.settle();
        QCOMPARE(deleteButton(view)->text(), QStringLiteral("删除 1 项"));

        // While the dialog asks about one task, the other returns to the list.
        harness.dialogs().confirmAnswer = true;
        harness.dialogs().duringDialog = [&harness] {
            harness.setStatus("rc-a::item-2", TaskStatus::pending);
            harness.model().refresh();
        };
        deleteButton(view)->click();
        harness.settle();
        QCOMPARE(harness.dialogs().confirmations.constFirst().messageText,
                 QStringLiteral("永久删除 1 个事项？"));
        QCOMPARE(visibleTitles(view), texts({"Two"}));
        QCOMPARE(harness.dialogs().notices.constLast().title, QStringLiteral("已删除 1 项"));
    }

    void arrowKeysMoveTheSelectionAndTheDetailFollows() {
        GuiHarness harness;
        harness.add(receiptOf("rc-a", "alpha", {"One", "Two", "Three"}));
        TaskListView& view = *harness.window().taskList();
        // Nothing selected yet: the detail shows the first task.
        QCOMPARE(harness.window().detailView()->taskKey(), std::string("rc-a::item-1"));
        view.listView()->setFocus();
        QTest::keyClick(view.listView(), Qt::Key_Down);
        harness.settle();
        QCOMPARE(harness.model().selectedTaskKeys(), (TaskKeySet{"rc-a::item-2"}));
        QCOMPARE(harness.window().detailView()->taskKey(), std::string("rc-a::item-2"));
        QTest::keyClick(view.listView(), Qt::Key_Down, Qt::ShiftModifier);
        harness.settle();
        QCOMPARE(harness.model().selectedTaskKeys(), (TaskKeySet{"rc-a::item-2", "rc-a::item-3"}));
        QCOMPARE(deleteButton(view)->text(), QStringLiteral("删除 2 项"));
    }
};

QTEST_MAIN(TaskListViewTest)
#include "TaskListViewTest.moc"
