// When the desktop cannot open a folder or a terminal: the model's notices over
// a failing fake launcher, and the real launcher's reasons on this machine.

#include <QScopeGuard>
#include <QTest>

#include "app/platform/QtWorkspace.h"
#include "views/GuiHarness.h"

using namespace kestrin;
using namespace kestrin::testing;

using Opener = std::function<void(GuiHarness&)>;
using LaunchFailure = std::optional<WorkspaceError>;
Q_DECLARE_METATYPE(Opener)
Q_DECLARE_METATYPE(LaunchFailure)

class WorkspaceFailureTest : public QObject {
    Q_OBJECT

private slots:
    void eachFailureBecomesANoticeSayingWhy_data() {
        QTest::addColumn<Opener>("open");
        QTest::addColumn<LaunchFailure>("folderFailure");
        QTest::addColumn<LaunchFailure>("terminalFailure");
        QTest::addColumn<QString>("shown");
        const Opener project = [](GuiHarness& h) {
            h.model().openProjectFolder(h.task("rc-1::item-1"));
        };
        const Opener terminal = [](GuiHarness& h) {
            h.model().openTerminal(QStringLiteral("/work/alpha"));
        };
        QTest::newRow("project opened")
            << project << LaunchFailure() << LaunchFailure() << QString();
        QTest::newRow("project from another machine")
            << project << LaunchFailure(WorkspaceError::folderMissing("/work/alpha"))
            << LaunchFailure()
            << QStringLiteral("无法打开项目文件夹 | 这台电脑上没有这个文件夹：/work/alpha");
        QTest::newRow("no file manager for the inbox")
            << Opener([](GuiHarness& h) { h.model().openInbox(); })
            << LaunchFailure(WorkspaceError::noFolderHandler("/data/inbox")) << LaunchFailure()
            << QStringLiteral("无法打开恢复收件箱 | 没有程序能打开这个文件夹：/data/inbox");
        QTest::newRow("no file manager for the data directory")
            << Opener([](GuiHarness& h) { h.model().openDataDirectory(); })
            << LaunchFailure(WorkspaceError::noFolderHandler("/data")) << LaunchFailure()
            << QStringLiteral("无法显示当前任务库 | 没有程序能打开这个文件夹：/data");
        QTest::newRow("terminal opened")
            << terminal << LaunchFailure() << LaunchFailure() << QString();
        QTest::newRow("no terminal")
            << terminal << LaunchFailure() << LaunchFailure(WorkspaceError::noTerminal())
            << QStringLiteral("无法打开终端 | 没有找到可以启动的终端程序。");
        QTest::newRow("terminal would not start")
            << terminal << LaunchFailure()
            << LaunchFailure(WorkspaceError::terminalNotStarted("/usr/bin/xterm"))
            << QStringLiteral("无法打开终端 | 终端程序没有启动：/usr/bin/xterm");
    }
    void eachFailureBecomesANoticeSayingWhy() {
        QFETCH(Opener, open);
        QFETCH(LaunchFailure, folderFailure);
        QFETCH(LaunchFailure, terminalFailure);
        QFETCH(QString, shown);
        GuiHarness harness;
        harness.add(baseReceipt().dump());
        harness.platform().workspace->folderFailure = folderFailure;
        harness.platform().workspace->terminalFailure = terminalFailure;
        open(harness);
        QCOMPARE(notice(harness), shown);
    }

    void desktopLauncherTellsWhyNothingOpened() {
        // No program can be found: no terminal, no file manager.
        const QByteArray path = qgetenv("PATH");
        const QByteArray terminal = qgetenv("TERMINAL");
        const auto restore = qScopeGuard([&] {
            qputenv("PATH", path);
            if (!terminal.isNull()) qputenv("TERMINAL", terminal);
        });
        qputenv("PATH", "");
        qunsetenv("TERMINAL");
        QTemporaryDir directory;
        const QString missing = directory.filePath(QStringLiteral("written-elsewhere"));
        QtWorkspace workspace;
        const auto check = [](Result<void, WorkspaceError> opened, const WorkspaceError& expected) {
            QVERIFY(!opened);
            QVERIFY(opened.error() == expected);
        };
        check(workspace.openFolder(missing), WorkspaceError::folderMissing(missing.toStdString()));
        check(workspace.openFolder(directory.path()),
              WorkspaceError::noFolderHandler(directory.path().toStdString()));
        check(workspace.openTerminal(directory.path()), WorkspaceError::noTerminal());
    }
};

QTEST_MAIN(WorkspaceFailureTest)
#include "WorkspaceFailureTest.moc"
