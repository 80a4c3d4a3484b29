#include <QAction>
#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolButton>

#include "app/model/DateTexts.h"
#include "app/views/ScenePhaseMonitor.h"
#include "app/views/dialogs/DataCommandProgressDialog.h"
#include "app/views/widgets/AppAppearance.h"
#include "app/views/widgets/SymbolIcons.h"
#include "core/receipt/InterventionCategory.h"
#include "views/GuiHarness.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {

QAction* menuItem(QMenu* menu, const char* title) {
    for (QAction* action : menu->actions()) {
        if (action->text() == QString::fromUtf8(title)) return action;
    }
    qFatal("no menu item %s", title);
}

// Some pixel of a 32-pixel rendering is not transparent.
bool drawsSomething(const QIcon& icon) {
    const QImage image = icon.pixmap(QSize(32, 32)).toImage();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0) return true;
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
    void initTestCase() { qputenv("TZ", "UTC"); }

    void fileMenuAndShortcutsReachTheCommands() {
        GuiHarness harness;
        MainWindow& window = harness.window();
        QCOMPARE(window.windowTitle(), harness.model().windowTitle());
        QCOMPARE(window.size(), QSize(1280, 820));
        QCOMPARE(window.centralWidget()->minimumSize(), QSize(940, 640));
        QMenu* file = window.menuBar()->findChild<QMenu*>(QStringLiteral("fileMenu"));
        QCOMPARE(file->actions()[1]->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V));
        file->actions()[1]->trigger();
        QCOMPARE(lastNoticeTitle(harness), QStringLiteral("剪贴板没有 JSON"));

        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_R, Qt::ControlModifier);  // a manual scan
        QCOMPARE(lastNoticeTitle(harness), QStringLiteral("收件箱已检查"));
        QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
        harness.settle();
        QCOMPARE(harness.dialogs().filePanelCount, 1);
    }

    void actionMenuHasEveryItem() {
        GuiHarness harness;
        QMenu* menu = harness.window().actionMenu();
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator()) QVERIFY(drawsSomething(action->icon()));
        }
        QToolButton* button = harness.window().actionMenuButton();
        const QString root = qs(harness.root().string());
        QCOMPARE(button->toolTip(), QStringLiteral("当前：隔离测试库\n") + root);
        menuItem(menu, "打开恢复收件箱")->trigger();
        menuItem(menu, "在文件管理器中显示当前任务库")->trigger();
        QCOMPARE(harness.platform().workspace->openedFolders,
                 (QStringList{root + QStringLiteral("/inbox"), root}));
        menuItem(menu, "查看回执历史")->trigger();
        QCOMPARE(harness.model().selection(), SidebarSelection::history());
        menuItem(menu, "导入 JSON 文件…")->trigger();
        QVERIFY(harness.model().isShowingImporter());
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
        QCOMPARE(harness.window().windowTitle(), harness.model().windowTitle());
    }

    void noticesShowOneAfterAnotherAndAreDismissed() {
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
    }

    void importPanelImportsTheChosenFiles() {
        GuiHarness harness;
        harness.dialogs().chosenFiles = {guiTestData("claude-push-certificate.json"),
                                         guiTestData("opencode-release-approval.json")};
        harness.model().setShowingImporter(true);
        QCOMPARE(lastNoticeTitle(harness), QStringLiteral("导入结果"));
        QVERIFY(!harness.model().isShowingImporter());
        QCOMPARE(harness.model().tasks().size(), std::size_t(2));
        harness.dialogs().chosenFiles.clear();
        harness.model().setShowingImporter(true);
        harness.settle();
        QCOMPARE(harness.dialogs().notices.size(), 1);
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
        model.setWatching(false);
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

    void progressDialogFollowsTheDataCommand() {
        GuiHarness harness;
        DataCommandProgressDialog& dialog = *harness.window().progressDialog();
        using Command = DataCommandProgress::Command;
        QCOMPARE(DataCommandProgressDialog::labelFor(Command::exportArchive),
                 QStringLiteral("正在导出数据归档…"));
        emit harness.model().dataCommandProgressChanged({Command::restoreArchive, 0, 0, false});
        QCOMPARE(dialog.labelText(), QStringLiteral("正在恢复数据归档…"));
        QCOMPARE(dialog.maximum(), 0);
        emit harness.model().dataCommandProgressChanged({Command::restoreArchive, 3, 8, false});
        QCOMPARE(dialog.maximum(), 8);
        QCOMPARE(dialog.value(), 3);
        emit harness.model().dataCommandProgressChanged({Command::restoreArchive, 8, 8, true});
        QVERIFY(!dialog.isVisible());
    }

    void appearanceAndColoursCarryMeaning() {
        using Scheme = AppAppearance::ColorScheme;
        QCOMPARE(AppAppearance::forcedColorScheme(QStringLiteral("DARK")), Scheme::dark);
        QCOMPARE(AppAppearance::forcedColorScheme(QStringLiteral("Light")), Scheme::light);
        for (const auto& other : {std::optional<QString>(QStringLiteral(" dark")),
                                  std::optional<QString>(QStringLiteral("dim")),
                                  std::optional<QString>(QString()), std::optional<QString>()}) {
            QCOMPARE(AppAppearance::forcedColorScheme(other), std::nullopt);
        }
        const QPalette dark = AppAppearance::palette(Scheme::dark);
        QVERIFY(AppAppearance::isDark(dark));
        QVERIFY(!AppAppearance::isDark(AppAppearance::palette(Scheme::light)));
        QCOMPARE(dark.color(QPalette::Highlight),
                 AppAppearance::color(AppAppearance::Tint::orange, dark));
    }

    void everySymbolHasALegibleIcon() {
        std::vector<std::string> used{"circle"};
        for (const auto& status : allCases<TaskStatus>()) used.emplace_back(status.systemImage);
        for (const auto& category : allCases<InterventionCategory>())
            used.emplace_back(category.systemImage);
        for (const std::string& name : used) {
            QVERIFY2(SymbolIcons::hasSymbol(name), name.c_str());
            QVERIFY2(drawsSomething(SymbolIcons::icon(name)), name.c_str());
            QVERIFY2(drawsSomething(SymbolIcons::icon(name, Qt::red)), name.c_str());
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
        const Timestamp evening = *parseKestrinISO8601("2026-07-27T17:05:00Z");
        const Timestamp morning = *parseKestrinISO8601("2026-07-27T09:30:00Z");
        QCOMPARE(DateTexts::receivedAt(evening, english), QStringLiteral("07/27/2026 5:05 PM"));
        QCOMPARE(DateTexts::receivedAt(evening, chinese), QStringLiteral("2026/07/27 17:05"));
        QCOMPARE(DateTexts::receivedAtAccessibility(morning, english),
                 QStringLiteral("Jul 27, 2026 9:30 AM"));
        QCOMPARE(DateTexts::receivedAtAccessibility(morning, chinese),
                 QStringLiteral("2026年7月27日 09:30"));
        QCOMPARE(DateTexts::historyTime(morning, english), QStringLiteral("Jul 27 9:30 AM"));
        QCOMPARE(DateTexts::historyTime(morning, chinese), QStringLiteral("7月27日 09:30"));
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
