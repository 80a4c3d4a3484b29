#include <QListWidget>
#include <QStackedWidget>
#include <QTest>

#include "app/views/DataEnvironmentRow.h"
#include "app/views/HistoryView.h"
#include "app/views/SidebarRow.h"
#include "app/views/SidebarView.h"
#include "app/views/TaskListView.h"
#include "app/views/widgets/ToggleSwitch.h"
#include "app/views/widgets/WrappingText.h"
#include "views/GuiHarness.h"

using namespace kestrin;
using namespace kestrin::testing;

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

QTEST_MAIN(SidebarViewTest)
#include "SidebarViewTest.moc"
