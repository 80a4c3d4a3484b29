// The Qt implementations of the platform services that can run offscreen.

#include <QClipboard>
#include <QGuiApplication>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include "app/platform/QtDeferredCalls.h"
#include "app/platform/QtPasteboard.h"
#include "app/platform/QtRepeatingTimer.h"
#include "app/platform/QtWorkspace.h"

using namespace kestrin;
using namespace std::chrono_literals;

class QtPlatformTest : public QObject {
    Q_OBJECT

private slots:
    void deferredCallsRunAfterTheLoopTurnsInOrderUnlessDropped() {
        QStringList log;
        {
            QtDeferredCalls dropped;
            dropped.post([&] { log << QStringLiteral("dropped"); });
        }
        QtDeferredCalls calls;
        calls.post([&] { log << QStringLiteral("first"); });
        calls.post([&] { log << QStringLiteral("second"); });
        log << QStringLiteral("caller");
        QCoreApplication::processEvents();
        QCOMPARE(log, (QStringList{QStringLiteral("caller"), QStringLiteral("first"),
                                   QStringLiteral("second")}));
    }

    void repeatingTimerTicksUntilStopped() {
        QtRepeatingTimer timer;
        int ticks = 0;
        timer.start(10ms, 1ms, [&] { ++ticks; });
        QVERIFY(timer.isRunning());
        QTRY_VERIFY(ticks >= 2);
        timer.stop();
        QVERIFY(!timer.isRunning());
        const int stoppedAt = ticks;
        QTest::qWait(50);
        QCOMPARE(ticks, stoppedAt);
    }

    void pasteboardTellsNoTextFromEmptyText() {
        QtPasteboard pasteboard;
        QGuiApplication::clipboard()->clear();
        QCOMPARE(pasteboard.readString(), std::optional<QString>());
        pasteboard.writeString(QString());
        QCOMPARE(pasteboard.readString(), std::optional(QString()));
    }

    void terminalCandidatesPutTheUsersChoiceFirst() {
        const QStringList withChoice = QtWorkspace::linuxTerminalCandidates(QStringLiteral("foot"));
        QCOMPARE(withChoice.mid(0, 2),
                 (QStringList{QStringLiteral("foot"), QStringLiteral("x-terminal-emulator")}));
        const QStringList without = QtWorkspace::linuxTerminalCandidates(QString());
        QCOMPARE(without.first(), QStringLiteral("x-terminal-emulator"));
        QVERIFY(without.contains(QStringLiteral("xterm")));
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

QTEST_MAIN(QtPlatformTest)
#include "QtPlatformTest.moc"
