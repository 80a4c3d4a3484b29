// The Qt implementations of the platform services that can run offscreen.

#include <QClipboard>
#include <QGuiApplication>
#include <QSignalSpy>
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
    void deferredCallsRunAfterTheLoopTurnsInOrder();
    void deferredCallsAreDroppedWithTheirOwner();
    void repeatingTimerTicksUntilStopped();
    void pasteboardTellsNoTextFromEmptyText();
    void terminalCandidatesPutTheUsersChoiceFirst();
};

void QtPlatformTest::deferredCallsRunAfterTheLoopTurnsInOrder() {
    QtDeferredCalls calls;
    QStringList log;
    calls.post([&] { log << QStringLiteral("first"); });
    calls.post([&] { log << QStringLiteral("second"); });
    log << QStringLiteral("caller done");
    QCOMPARE(log, QStringList{QStringLiteral("caller done")});
    QCoreApplication::processEvents();
    QCOMPARE(log, (QStringList{QStringLiteral("caller done"), QStringLiteral("first"),
                               QStringLiteral("second")}));
}

void QtPlatformTest::deferredCallsAreDroppedWithTheirOwner() {
    bool ran = false;
    {
        QtDeferredCalls calls;
        calls.post([&] { ran = true; });
    }
    QCoreApplication::processEvents();
    QVERIFY(!ran);
}

void QtPlatformTest::repeatingTimerTicksUntilStopped() {
    QtRepeatingTimer timer;
    int ticks = 0;
    QVERIFY(!timer.isRunning());
    timer.start(10ms, 1ms, [&] { ++ticks; });
    QVERIFY(timer.isRunning());
    QTRY_VERIFY(ticks >= 2);
    timer.stop();
    QVERIFY(!timer.isRunning());
    const int stoppedAt = ticks;
    QTest::qWait(50);
    QCOMPARE(ticks, stoppedAt);
}

void QtPlatformTest::pasteboardTellsNoTextFromEmptyText() {
    QtPasteboard pasteboard;
    QGuiApplication::clipboard()->clear();
    QCOMPARE(pasteboard.readString(), std::optional<QString>());
    pasteboard.writeString(QStringLiteral("{\"a\": 1}"));
    QCOMPARE(pasteboard.readString(), std::optional<QString>(QStringLiteral("{\"a\": 1}")));
    pasteboard.writeString(QString());
    QCOMPARE(pasteboard.readString(), std::optional<QString>(QString()));
}

void QtPlatformTest::terminalCandidatesPutTheUsersChoiceFirst() {
    const QStringList withChoice = QtWorkspace::linuxTerminalCandidates(QStringLiteral("foot"));
    QCOMPARE(withChoice.first(), QStringLiteral("foot"));
    QCOMPARE(withChoice.at(1), QStringLiteral("x-terminal-emulator"));
    const QStringList without = QtWorkspace::linuxTerminalCandidates(QString());
    QCOMPARE(without.first(), QStringLiteral("x-terminal-emulator"));
    QVERIFY(without.contains(QStringLiteral("xterm")));
}

QTEST_MAIN(QtPlatformTest)
#include "QtPlatformTest.moc"
