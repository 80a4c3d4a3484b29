// What the user sees when the desktop cannot open a folder or a terminal: the
// model's notices over a failing fake launcher, and the real launcher's
// reasons on this machine.

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

#include "AppModelFixture.h"
#include "app/platform/QtWorkspace.h"

using namespace kestrin;
using namespace kestrin::testing;

class WorkspaceFailureTest : public QObject {
    Q_OBJECT

private slots:
    void eachFailureBecomesANoticeSayingWhy();
    void desktopLauncherTellsWhyNothingOpened();
};

void WorkspaceFailureTest::eachFailureBecomesANoticeSayingWhy() {
    struct Case {
        const char* name;
        std::function<void(ModelHarness&)> open;
        std::optional<WorkspaceError> folderFailure;
        std::optional<WorkspaceError> terminalFailure;
        const char* title;  // nullptr: no notice
        const char* message;
    };
    const auto openProject = [](ModelHarness& harness) {
        harness.model().openProjectFolder(harness.task(taskKey("rc-1", "item-1")));
    };
    const auto openTerminal = [](ModelHarness& harness) {
        harness.model().openTerminal(QStringLiteral("/work/alpha"));
    };
    const Case cases[] = {
        {"project opened", openProject, {}, {}, nullptr, nullptr},
        {"project written on another machine", openProject,
         WorkspaceError::folderMissing("/work/alpha"), {}, "无法打开项目文件夹",
         "这台电脑上没有这个文件夹：/work/alpha"},
        {"no file manager for the inbox", [](ModelHarness& h) { h.model().openInbox(); },
         WorkspaceError::noFolderHandler("/data/inbox"), {}, "无法打开恢复收件箱",
         "没有程序能打开这个文件夹：/data/inbox"},
        {"no file manager for the data directory",
         [](ModelHarness& h) { h.model().openDataDirectory(); },
         WorkspaceError::noFolderHandler("/data"), {}, "无法显示当前任务库",
         "没有程序能打开这个文件夹：/data"},
        {"terminal opened", openTerminal, {}, {}, nullptr, nullptr},
        {"no terminal installed", openTerminal, {}, WorkspaceError::noTerminal(), "无法打开终端",
         "没有找到可以启动的终端程序。"},
        {"terminal would not start", openTerminal, {},
         WorkspaceError::terminalNotStarted("/usr/bin/xterm"), "无法打开终端",
         "终端程序没有启动：/usr/bin/xterm"},
    };
    for (const Case& c : cases) {
        qInfo("case: %s", c.name);
        ModelHarness harness;
        harness.submitAndLoad(ReceiptSpec{});
        harness.platform().workspace->folderFailure = c.folderFailure;
        harness.platform().workspace->terminalFailure = c.terminalFailure;
        c.open(harness);
        QCOMPARE(bool(harness.model().notice()), c.title != nullptr);
        if (c.title == nullptr) continue;
        QCOMPARE(harness.model().notice()->title, QString::fromUtf8(c.title));
        QCOMPARE(harness.model().notice()->message, QString::fromUtf8(c.message));
    }
}

void WorkspaceFailureTest::desktopLauncherTellsWhyNothingOpened() {
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

    struct Case {
        const char* name;
        std::function<Result<void, WorkspaceError>(QtWorkspace&)> open;
        WorkspaceError expected;
    };
    const Case cases[] = {
        {"folder not on this machine", [&](QtWorkspace& w) { return w.openFolder(missing); },
         WorkspaceError::folderMissing(missing.toStdString())},
        {"no program opens folders", [&](QtWorkspace& w) { return w.openFolder(directory.path()); },
         WorkspaceError::noFolderHandler(directory.path().toStdString())},
        {"no terminal on PATH", [&](QtWorkspace& w) { return w.openTerminal(directory.path()); },
         WorkspaceError::noTerminal()},
    };
    for (const Case& c : cases) {
        qInfo("case: %s", c.name);
        QtWorkspace workspace;
        const auto opened = c.open(workspace);
        QVERIFY(!opened);
        QVERIFY(opened.error() == c.expected);
    }
}

QTEST_MAIN(WorkspaceFailureTest)
#include "WorkspaceFailureTest.moc"
