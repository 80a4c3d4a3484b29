#include <QAction>
#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QTest>
#include <QToolButton>
#include <fstream>

#include "app/views/widgets/AppAppearance.h"
#include "app/views/dialogs/DataCommandProgressDialog.h"
#include "app/model/DateTexts.h"
#include "app/model/PlatformTexts.h"
#include "app/views/ScenePhaseMonitor.h"
#include "app/views/widgets/SymbolIcons.h"
#include "core/receipt/ActionKind.h"
#include "core/receipt/InterventionCategory.h"
#include "views/GuiHarness.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {

QStringList menuTitles(QMenu* menu) {
    QStringList titles;
    for (QAction* action : menu->actions()) {
        titles << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return titles;
}

QAction* menuItem(QMenu* menu, const QString& title) {
    for (QAction* action : menu->actions()) {
        if (action->text() == title) return action;
    }
    qFatal("no menu item %s", qPrintable(title));
}

// Whether the icon draws something: some pixel of a 32-pixel rendering is not transparent.
bool drawsSomething(const QIcon& icon) {
    const QImage image = icon.pixmap(QSize(32, 32)).toImage();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0) return true;
        }
    }
    return false;
}

Timestamp utc(int hour, int minute) {
    const QString text = QStringLiteral("2026-07-27T%1:%2:00Z")
                             .arg(hour, 2, 10, QLatin1Char('0'))
                             .arg(minute, 2, 10, QLatin1Char('0'));
    return *parseKestrinISO8601(text.toStdString());
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { qputenv("TZ", "UTC"); }

    void windowHasItsTitleAndSizes() {
        GuiHarness harness;
        MainWindow& window = harness.window();
        QCOMPARE(window.windowTitle(), QStringLiteral("Velmora · 隔离测试库"));
        QCOMPARE(window.size(), QSize(1280, 820));
        QCOMPARE(window.centralWidget()->minimumSize(), QSize(940, 640));
    }

    void fileMenuHasTheThreeReceiptCommands() {
        GuiHarness harness;
        QMenu* file = harness.window().menuBar()->findChild<QMenu*>(QStringLiteral("fileMenu"));
        QCOMPARE(menuTitles(file), texts({"恢复入口：导入 JSON…", "恢复入口：从剪贴板导入 JSON",
                                          "-", "恢复入口：扫描收件箱", "-", "退出 Velmora"}));
        QCOMPARE(file->actions()[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
        QCOMPARE(file->actions()[1]->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V));
        QCOMPARE(file->actions()[3]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));

        // A manual scan reports even an empty inbox, watching or not.
        harness.model().setWatching(false);
        file->actions()[3]->trigger();
        harness.settle();
        QCOMPARE(harness.dialogs().notices.constLast().title, QStringLiteral("收件箱已检查"));
        QCOMPARE(harness.dialogs().notices.constLast().message,
                 QStringLiteral("当前没有新的 JSON 回执。"));

        file->actions()[1]->trigger();
        harness.settle();
        QCOMPARE(harness.dialogs().notices.constLast().title, QStringLiteral("剪贴板没有 JSON"));

        file->actions()[0]->trigger();
        harness.settle();
        QCOMPARE(harness.dialogs().filePanelCount, 1);
    }

    void shortcutsReachTheCommands() {
        GuiHarness harness;
        MainWindow& window = harness.window();
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_R, Qt::ControlModifier);
        harness.settle();
        QCOMPARE(harness.dialogs().notices.constLast().title, QStringLiteral("收件箱已检查"));
        QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
        harness.settle();
        QCOMPARE(harness.dialogs().filePanelCount, 1);
    }

    void actionMenuHasEveryItem() {
        GuiHarness harness;
        MainWindow& window = harness.window();
        QMenu* menu = window.actionMenu();
        const QString manager = PlatformTexts::fileManager();
        QCOMPARE(menuTitles(menu),
                 (QStringList{QStringLiteral("导入 JSON 文件…"),
                              QStringLiteral("从剪贴板导入 JSON"), QStringLiteral("-"),
                              QStringLiteral("扫描恢复收件箱"), QStringLiteral("打开恢复收件箱"),
                              QStringLiteral("在 ") + manager + QStringLiteral(" 中显示当前任务库"),
                              QStringLiteral("-"), QStringLiteral("导出数据归档…"),
                              QStringLiteral("从数据归档恢复…"), QStringLiteral("创建数据库备份"),
                              QStringLiteral("从数据库备份恢复…"), QStringLiteral("-"),
                              QStringLiteral("查看回执历史")}));
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator()) QVERIFY(drawsSomething(action->icon()));
        }
        QToolButton* button = window.actionMenuButton();
        QCOMPARE(button->text(), QStringLiteral("恢复入口"));
        const QString root = QString::fromStdString(harness.root().string());
        QCOMPARE(button->toolTip(), QStringLiteral("当前：隔离测试库\n") + root);

        menuItem(menu, QStringLiteral("打开恢复收件箱"))->trigger();
        menuItem(menu, QStringLiteral("在 ") + manager + QStringLiteral(" 中显示当前任务库"))
            ->trigger();
        QCOMPARE(harness.platform().workspace->openedFolders,
                 (QStringList{root + QStringLiteral("/inbox"), root}));
        menuItem(menu, QStringLiteral("查看回执历史"))->trigger();
        QCOMPARE(harness.model().selection(), SidebarSelection::history());
        menuItem(menu, QStringLiteral("导入 JSON 文件…"))->trigger();
        QVERIFY(harness.model().isShowingImporter());
    }

    void foldersDoNothingWithoutAStore() {
        QTemporaryDir directory;
        const QString file = directory.filePath(QStringLiteral("blocker"));
        std::ofstream(file.toStdString()) << "x";
        GuiHarness harness({{"KESTRIN_HOME", (file + QStringLiteral("/data")).toStdString()}});
        menuItem(harness.window().actionMenu(), QStringLiteral("打开恢复收件箱"))->trigger();
        QVERIFY(harness.platform().workspace->openedFolders.isEmpty());
        // The start-up failure waits for the window, then shows.
        harness.settle();
        QCOMPARE(harness.dialogs().notices.constFirst().title,
                 QStringLiteral("无法启动本地任务库"));
        QCOMPARE(harness.window().windowTitle(), QStringLiteral("Velmora · 自定义任务库"));
    }

    void noticesShowOneAfterAnotherAndAreDismissed() {
        GuiHarness harness;
        harness.model().showNotice(QStringLiteral("First"), QStringLiteral("one"));
        // Shown after the operation that set it, never inside it.
        QVERIFY(harness.dialogs().notices.isEmpty());
        harness.dialogs().duringDialog = [&harness] {
            harness.model().showNotice(QStringLiteral("Second"), QStringLiteral("two"));
        };
        harness.settle();
        QCOMPARE(harness.dialogs().notices.size(), 2);
        QCOMPARE(harness.dialogs().notices[0].title, QStringLiteral("First"));
        QCOMPARE(harness.dialogs().notices[1].title, QStringLiteral("Second"));
        QCOMPARE(harness.dialogs().notices[1].message, QStringLiteral("two"));
        QVERIFY(!harness.model().notice());
    }

    void importPanelImportsTheChosenFiles() {
        GuiHarness harness;
        harness.dialogs().chosenFiles = {guiTestData("claude-push-certificate.json"),
                                         guiTestData("opencode-release-approval.json")};
        harness.model().setShowingImporter(true);
        harness.settle();
        QVERIFY(!harness.model().isShowingImporter());
        QCOMPARE(harness.dialogs().notices.constLast().title, QStringLiteral("导入结果"));
        QCOMPARE(harness.model().tasks().size(), std::size_t(2));

        harness.dialogs().chosenFiles.clear();
        harness.model().setShowingImporter(true);
        harness.settle();
        QCOMPARE(harness.dialogs().notices.size(), 1);

        harness.dialogs().filePanelError = QStringLiteral("The folder is not readable.");
        harness.model().setShowingImporter(true);
        harness.settle();
        QCOMPARE(harness.dialogs().notices.constLast().title, QStringLiteral("没有导入文件"));
        QCOMPARE(harness.dialogs().notices.constLast().message,
                 QStringLiteral("The folder is not readable."));
    }

    void showingTheWindowStartsWatchingEvenWhenSwitchedOff() {
        GuiHarness harness;
        harness.model().setWatching(false);
        QVERIFY(!harness.model().isTimerRunning());
        harness.window().show();
        QVERIFY(harness.model().isTimerRunning());
        QCOMPARE(harness.platform().timer->interval, std::chrono::milliseconds(3000));
        QCOMPARE(harness.platform().timer->tolerance, std::chrono::milliseconds(500));
    }

    void backgroundStopsScansAndForegroundResumesThemWhenWatching() {
        GuiHarness harness;
        MainWindow& window = harness.window();
        window.show();
        ScenePhaseMonitor& phase = *window.scenePhase();
        phase.applicationStateChanged(Qt::ApplicationActive);
        QVERIFY(harness.model().isTimerRunning());

        phase.applicationStateChanged(Qt::ApplicationHidden);
        QCOMPARE(phase.phase(), ScenePhaseMonitor::Phase::background);
        QVERIFY(!harness.model().isTimerRunning());
        QVERIFY(!harness.model().windowVisible());

        // Back with watching off: visible, but no timer.
        harness.model().setWatching(false);
        phase.applicationStateChanged(Qt::ApplicationInactive);
        QVERIFY(harness.model().windowVisible());
        QVERIFY(!harness.model().isTimerRunning());
        harness.model().setWatching(true);
        QVERIFY(harness.model().isTimerRunning());

        // A minimised window counts as the background too.
        window.setWindowState(Qt::WindowMinimized);
        QCOMPARE(phase.phase(), ScenePhaseMonitor::Phase::background);
        QVERIFY(!harness.model().isTimerRunning());
        window.setWindowState(Qt::WindowNoState);
        QCOMPARE(phase.phase(), ScenePhaseMonitor::Phase::inactive);
        QVERIFY(harness.model().isTimerRunning());
        QCOMPARE(ScenePhaseMonitor::phaseFor(Qt::ApplicationSuspended, false),
                 ScenePhaseMonitor::Phase::background);
        QCOMPARE(ScenePhaseMonitor::phaseFor(Qt::ApplicationActive, false),
                 ScenePhaseMonitor::Phase::active);
    }

    void progressDialogFollowsTheDataCommand() {
        GuiHarness harness;
        DataCommandProgressDialog& dialog = *harness.window().progressDialog();
        using Command = DataCommandProgress::Command;
        QCOMPARE(DataCommandProgressDialog::labelFor(Command::exportArchive),
                 QStringLiteral("正在导出数据归档…"));
        QCOMPARE(DataCommandProgressDialog::labelFor(Command::restoreArchive),
                 QStringLiteral("正在恢复数据归档…"));
        emit harness.model().dataCommandProgressChanged({Command::restoreArchive, 0, 0, false});
        QCOMPARE(dialog.labelText(), QStringLiteral("正在恢复数据归档…"));
        QCOMPARE(dialog.maximum(), 0);
        emit harness.model().dataCommandProgressChanged({Command::restoreArchive, 3, 8, false});
        QCOMPARE(dialog.maximum(), 8);
        QCOMPARE(dialog.value(), 3);
        emit harness.model().dataCommandProgressChanged({Command::restoreArchive, 8, 8, true});
        QVERIFY(!dialog.isVisible());
    }

    void appearanceOverrideReadsLightOrDarkOnly() {
        using Scheme = AppAppearance::ColorScheme;
        QCOMPARE(AppAppearance::forcedColorScheme(QStringLiteral("DARK")), Scheme::dark);
        QCOMPARE(AppAppearance::forcedColorScheme(QStringLiteral("Light")), Scheme::light);
        QCOMPARE(AppAppearance::forcedColorScheme(QStringLiteral(" dark")), std::nullopt);
        QCOMPARE(AppAppearance::forcedColorScheme(QStringLiteral("dim")), std::nullopt);
        QCOMPARE(AppAppearance::forcedColorScheme(QString()), std::nullopt);
        QCOMPARE(AppAppearance::forcedColorScheme(std::nullopt), std::nullopt);
        QVERIFY(AppAppearance::isDark(AppAppearance::palette(Scheme::dark)));
        QVERIFY(!AppAppearance::isDark(AppAppearance::palette(Scheme::light)));
        const QPalette dark = AppAppearance::palette(Scheme::dark);
        QCOMPARE(dark.color(QPalette::Highlight),
                 AppAppearance::color(AppAppearance::Tint::orange, dark));
    }

    void statusColoursCarryMeaning() {
        using Tint = AppAppearance::Tint;
        QCOMPARE(AppAppearance::statusTint(TaskStatus::pending), Tint::orange);
        QCOMPARE(AppAppearance::statusTint(TaskStatus::inProgress), Tint::blue);
        QCOMPARE(AppAppearance::statusTint(TaskStatus::snoozed), Tint::purple);
        QCOMPARE(AppAppearance::statusTint(TaskStatus::waitingExternal), Tint::secondary);
        QCOMPARE(AppAppearance::statusTint(TaskStatus::readyToResume), Tint::green);
        QCOMPARE(AppAppearance::statusTint(TaskStatus::completed), Tint::secondary);
        QCOMPARE(AppAppearance::statusTint(TaskStatus::cancelled), Tint::red);
        QCOMPARE(AppAppearance::priorityTint(TaskPriority::low), Tint::secondary);
        QCOMPARE(AppAppearance::environmentTint(TaskDataEnvironment::temporary), Tint::green);
    }

    void everySymbolHasALegibleIcon() {
        std::vector<std::string_view> used{"scope",
                                           "tray.full",
                                           "folder",
                                           "clock.arrow.circlepath",
                                           "dot.radiowaves.left.and.right",
                                           "externaldrive.fill.badge.checkmark",
                                           "testtube.2",
                                           "externaldrive.badge.questionmark",
                                           "checkmark.circle",
                                           "checklist",
                                           "trash",
                                           "cpu",
                                           "person.crop.circle.badge.exclamationmark",
                                           "rectangle.split.3x1",
                                           "ellipsis.circle",
                                           "doc.badge.plus",
                                           "doc.on.clipboard",
                                           "arrow.clockwise",
                                           "externaldrive",
                                           "square.and.arrow.up",
                                           "square.and.arrow.down",
                                           "externaldrive.badge.plus",
                                           "externaldrive.badge.timemachine",
                                           "flag.fill",
                                           "timer",
                                           "list.bullet.clipboard",
                                           "checkmark.seal",
                                           "checkmark.circle.fill",
                                           "exclamationmark.triangle.fill",
                                           "arrow.uturn.backward.circle.fill",
                                           "arrowshape.turn.up.right.circle",
                                           "circle",
                                           "terminal",
                                           "lock.shield.fill",
                                           "xmark.octagon.fill",
                                           "doc.on.doc",
                                           "checkmark",
                                           "hand.raised",
                                           "exclamationmark.arrow.triangle.2.circlepath",
                                           "arrow.up.forward.app",
                                           "xmark.circle.fill",
                                           "clock",
                                           "magnifyingglass"};
        for (const auto& status : allCases<TaskStatus>()) used.push_back(status.systemImage);
        for (const auto& category : allCases<InterventionCategory>()) {
            used.push_back(category.systemImage);
        }
        for (std::string_view name : used) {
            QVERIFY2(SymbolIcons::hasSymbol(name), std::string(name).c_str());
            QVERIFY2(drawsSomething(SymbolIcons::icon(name)), std::string(name).c_str());
            QVERIFY2(drawsSomething(SymbolIcons::icon(name, Qt::red)), std::string(name).c_str());
        }
        QVERIFY(!SymbolIcons::hasSymbol("no.such.symbol"));
        QVERIFY(drawsSomething(SymbolIcons::icon("no.such.symbol")));
        QVERIFY(drawsSomething(SymbolIcons::applicationIcon()));

        // The colour reaches the drawing.
        const QImage red = SymbolIcons::icon("circle", Qt::red).pixmap(QSize(32, 32)).toImage();
        bool sawRed = false;
        for (int x = 0; x < red.width() && !sawRed; ++x) {
            const QColor pixel = red.pixelColor(x, 16);
            sawRed = pixel.alpha() > 200 && pixel.red() > 200 && pixel.green() < 60;
        }
        QVERIFY(sawRed);
    }

    void timesFollowTheLocale() {
        const QLocale english(QLocale::English, QLocale::UnitedStates);
        const QLocale chinese(QLocale::Chinese, QLocale::China);
        QCOMPARE(DateTexts::receivedAt(utc(17, 5), english), QStringLiteral("07/27/2026 5:05 PM"));
        QCOMPARE(DateTexts::receivedAt(utc(17, 5), chinese), QStringLiteral("2026/07/27 17:05"));
        QCOMPARE(DateTexts::receivedAtAccessibility(utc(9, 30), english),
                 QStringLiteral("Jul 27, 2026 9:30 AM"));
        QCOMPARE(DateTexts::receivedAtAccessibility(utc(9, 30), chinese),
                 QStringLiteral("2026年7月27日 09:30"));
        QCOMPARE(DateTexts::historyTime(utc(9, 30), english), QStringLiteral("Jul 27 9:30 AM"));
        QCOMPARE(DateTexts::historyTime(utc(9, 30), chinese), QStringLiteral("7月27日 09:30"));
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
