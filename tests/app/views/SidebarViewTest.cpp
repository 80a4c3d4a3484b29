#include <QListWidget>
#include <QStackedWidget>
#include <QTest>

#include "app/views/DataEnvironmentRow.h"
#include "app/views/EmptyStatePanel.h"
#include "app/views/HistoryView.h"
#include "app/views/SidebarRow.h"
#include "app/views/SidebarView.h"
#include "app/views/TaskListView.h"
#include "app/views/widgets/ToggleSwitch.h"
#include "app/views/widgets/WrappingText.h"
#include "views/GuiHarness.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {

// The count a filter row shows, or -1 when the sidebar has no such row.
qlonglong countOf(SidebarView& sidebar, const SidebarSelection& selection) {
    QListWidgetItem* item = sidebar.itemFor(selection);
    return item == nullptr ? -1 : item->data(SidebarRow::CountRole).toLongLong();
}

QStringList rowTitles(SidebarView& sidebar) {
    QStringList titles;
    for (int row = 0; row < sidebar.list()->count(); ++row) {
        titles << sidebar.list()->item(row)->text();
    }
    return titles;
}

}  // namespace

class SidebarViewTest : public QObject {
    Q_OBJECT

  private slots:
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

        QCOMPARE(sidebar.sectionTitles(),
                 texts({"当前任务库", "需要关注", "按项目", "按状态", "辅助"}));
        // Projects in code point order, only those with open tasks.
        QCOMPARE(rowTitles(sidebar),
                 texts({"需要关注", "现在处理", "全部事项", "按项目", "Zeta", "alpha", "按状态",
                        "待处理", "处理中", "已暂缓", "等待外部", "待回传 Agent", "已完成",
                        "已取消", "辅助", "回执历史"}));
        QCOMPARE(countOf(sidebar, SidebarSelection::attention()), 3);
        QCOMPARE(countOf(sidebar, SidebarSelection::all()), 6);
        QCOMPARE(countOf(sidebar, SidebarSelection::project("alpha")), 3);
        QCOMPARE(countOf(sidebar, SidebarSelection::project("Zeta")), 1);
        QCOMPARE(countOf(sidebar, SidebarSelection::project("beta")), -1);
        QCOMPARE(countOf(sidebar, SidebarSelection::status(TaskStatus::pending)), 2);
        QCOMPARE(countOf(sidebar, SidebarSelection::status(TaskStatus::snoozed)), 1);
        QCOMPARE(countOf(sidebar, SidebarSelection::status(TaskStatus::completed)), 1);
        QCOMPARE(countOf(sidebar, SidebarSelection::status(TaskStatus::cancelled)), 1);
        QCOMPARE(countOf(sidebar, SidebarSelection::status(TaskStatus::inProgress)), 0);
        QCOMPARE(countOf(sidebar, SidebarSelection::history()), 3);
        QCOMPARE(sidebar.itemFor(SidebarSelection::all())->data(Qt::AccessibleTextRole).toString(),
                 QStringLiteral("全部事项，6 项"));

        // The search narrows the list, never a count.
        harness.model().setSearchText(QStringLiteral("A1"));
        harness.settle();
        QCOMPARE(harness.model().visibleTasks().size(), std::size_t(1));
        QCOMPARE(countOf(sidebar, SidebarSelection::attention()), 3);
        QCOMPARE(countOf(sidebar, SidebarSelection::all()), 6);
    }

    void closedTasksOnlyHideTheProjectsButStillCount() {
        GuiHarness harness;
        harness.add(receiptOf("rc-a", "alpha", {"A1", "A2"}));
        harness.setStatus("rc-a::item-1", TaskStatus::completed);
        harness.setStatus("rc-a::item-2", TaskStatus::cancelled);
        harness.reload();
        SidebarView& sidebar = *harness.window().sidebar();
        QVERIFY(!sidebar.sectionTitles().contains(QStringLiteral("按项目")));
        QCOMPARE(countOf(sidebar, SidebarSelection::all()), 2);
        QCOMPARE(countOf(sidebar, SidebarSelection::attention()), 0);
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

        // The model decides too: the action menu's history item, for one.
        harness.model().setSelection(SidebarSelection::status(TaskStatus::cancelled));
        QCOMPARE(sidebar.list()->currentItem(),
                 sidebar.itemFor(SidebarSelection::status(TaskStatus::cancelled)));
    }

    void arrowKeysSkipTheSectionTitles() {
        GuiHarness harness;
        harness.add(receiptOf("rc-a", "alpha", {"A1"}));
        QListWidget* list = harness.window().sidebar()->list();
        harness.model().setSelection(SidebarSelection::all());
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(harness.model().selection(), SidebarSelection::project("alpha"));
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(harness.model().selection(), SidebarSelection::status(TaskStatus::pending));
        QTest::keyClick(list, Qt::Key_Up);
        QTest::keyClick(list, Qt::Key_Up);
        QCOMPARE(harness.model().selection(), SidebarSelection::all());
    }

    void dataEnvironmentRowNamesTheDirectory() {
        GuiHarness harness;
        auto* row = harness.window().sidebar()->findChild<DataEnvironmentRow*>();
        QVERIFY(row != nullptr);
        const QString path = QString::fromStdString(harness.root().string());
        // KESTRIN_HOME inside the temporary directory: the isolated store.
        QCOMPARE(row->accessibleName(), QStringLiteral("当前任务库，隔离测试库，路径 ") + path);
        QCOMPARE(row->toolTip(), path);
        QCOMPARE(
            row->findChild<WrappingText*>(QStringLiteral("dataEnvironmentPath"))->toPlainText(),
            path);
    }

    void unreachableStoreShowsTheUnconnectedRow() {
        QTemporaryDir directory;
        const QString file = directory.filePath(QStringLiteral("not-a-directory"));
        QFile blocker(file);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        GuiHarness harness({{"KESTRIN_HOME", (file + QStringLiteral("/data")).toStdString()}});
        QVERIFY(!harness.model().paths());
        auto* row = harness.window().sidebar()->findChild<DataEnvironmentRow*>();
        QCOMPARE(row->accessibleName(),
                 QStringLiteral("当前任务库，自定义任务库，路径 任务库尚未连接"));
        QCOMPARE(harness.window().actionMenuHelp(),
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
        QVERIFY(!harness.model().isWatching());
        QVERIFY(!harness.model().isTimerRunning());
        harness.model().setWatching(true);
        QVERIFY(watch->isChecked());
        QVERIFY(harness.model().isTimerRunning());
    }
};

QTEST_MAIN(SidebarViewTest)
#include "SidebarViewTest.moc"
