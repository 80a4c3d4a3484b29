// The road back in the window: notes stored shortly after typing that survive
// a killed program, the result tool hint, the terminal offer, "连接 Agent…".

#include <QAction>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include "app/views/EmptyStatePanel.h"
#include "app/views/TaskDetailView.h"
#include "core/intake/AgentResultTool.h"
#include "views/GuiHarness.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {

const std::string taskKey = "rc-1::item-1";

QString storedNote(const std::filesystem::path& root) {
    auto store = SQLiteTaskStore::open(root / "tasks.sqlite");
    if (!store) return QStringLiteral("<no store>");
    auto note = (*store)->note(taskKey);
    return note ? qs(*note) : QStringLiteral("<error>");
}

template <typename Widget>
Widget* part(GuiHarness& harness, const char* name) {
    TaskDetailView* view = harness.window().detailView();
    return view ? view->findChild<Widget*>(QString::fromUtf8(name)) : nullptr;
}

void handBack(GuiHarness& harness) {
    harness.tickStep(taskKey, "step-1");
    harness.tickStep(taskKey, "step-2");
    harness.reload();
    part<QPushButton>(harness, "copyResumeButton")->click();
    harness.settle();
}

}  // namespace

class RoadBackTest : public QObject {
    Q_OBJECT

private slots:
    // Stored after the pause, at once on a hand-back (before the status an
    // agent may wait for) and when the window closes.
    void notesAreStoredAfterAPauseAtTheHandBackAndOnClose() {
        GuiHarness harness;
        harness.add(baseReceipt().dump());
        QCOMPARE(part<QLabel>(harness, "resultToolHint")->text(),
                 qs(std::string(AgentResultTool::humanHint)));
        auto* editor = part<QPlainTextEdit>(harness, "noteEditor");
        editor->insertPlainText(QStringLiteral("代理已重启"));
        QCOMPARE(storedNote(harness.root()), QString());
        QTRY_COMPARE(storedNote(harness.root()), QStringLiteral("代理已重启"));
        editor->insertPlainText(QStringLiteral("，日志正常"));
        handBack(harness);
        QCOMPARE(storedNote(harness.root()), QStringLiteral("代理已重启，日志正常"));
        QVERIFY(harness.platform().pasteboard->content->contains(
            QStringLiteral("代理已重启，日志正常")));
        part<QPlainTextEdit>(harness, "noteEditor")->insertPlainText(QStringLiteral("。"));
        harness.window().close();
        QCOMPARE(storedNote(harness.root()), QStringLiteral("代理已重启，日志正常。"));
    }

    // Killed once the pause has passed: the note is in the database, and a
    // new window shows it.
    void aNoteSurvivesAKilledProgram() {
        QTemporaryDir directory;
        const std::filesystem::path root = directory.path().toStdString();
        {
            auto store = SQLiteTaskStore::open(root / "tasks.sqlite");
            QVERIFY(store && ReceiptImporter(**store).importData(baseReceipt().dump()));
        }
        QProcess typing;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("KESTRIN_HOME"), qs(root.string()));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        typing.setProcessEnvironment(environment);
        typing.start(QStringLiteral(VELMORA_NOTE_TYPING_TOOL), {QStringLiteral("正在输入的记录")});
        QVERIFY(typing.waitForReadyRead(30000));
        QCOMPARE(typing.readLine().trimmed(), QByteArray("typed"));
        QTRY_COMPARE_WITH_TIMEOUT(storedNote(root), QStringLiteral("正在输入的记录"), 30000);
        typing.kill();
        QVERIFY(typing.waitForFinished(30000));
        QCOMPARE(typing.exitStatus(), QProcess::CrashExit);
        GuiHarness reopened({{"KESTRIN_HOME", root.string()}});
        reopened.reload();
        QCOMPARE(part<QPlainTextEdit>(reopened, "noteEditor")->toPlainText(),
                 QStringLiteral("正在输入的记录"));
    }

    // After the copy: the agent's own resume command as an argument vector in
    // the project; nothing for a source without a session.
    void continuingInATerminalAfterTheCopy() {
        const std::string session = "0f5e2c1a-7b3d-4e8f-9a6b-1c2d3e4f5a6b";
        GuiHarness harness;
        harness.add(receiptWith([&](nlohmann::json& r) {
            r["source"] = {{"agent", "claude_code"}, {"task_title", "t"}, {"task_id", session}};
        }));
        QVERIFY(part<QPushButton>(harness, "continueInTerminalButton")->isHidden());
        handBack(harness);
        auto* terminal = part<QPushButton>(harness, "continueInTerminalButton");
        QVERIFY(!terminal->isHidden());
        terminal->click();
        auto& workspace = *harness.platform().workspace;
        QCOMPARE(workspace.terminalCommands,
                 QList<QStringList>{texts({"claude", "--resume", session.c_str()})});
        QCOMPARE(workspace.terminalDirectories.back(), QStringLiteral("/work/alpha"));
        workspace.acceptsTerminalCommands = false;
        terminal->click();
        harness.settle();
        QCOMPARE(harness.dialogs().notices.back().title, QStringLiteral("无法打开终端"));
        QCOMPARE(
            harness.dialogs().notices.back().message,
            QStringLiteral("请在终端里运行：\ncd /work/alpha && claude --resume ") + qs(session));

        GuiHarness other;
        other.add(receiptWith([](nlohmann::json& r) {
            r["source"]["agent"] = "claude_code";
            r["source"].erase("task_id");
        }));
        QVERIFY(part<QPushButton>(other, "continueInTerminalButton") == nullptr);
    }

    // From the menu and from the empty list: the three agents, this store's
    // KESTRIN_HOME, and a copy button that fills the clipboard.
    void connectAgentsFromTheMenuAndTheEmptyList() {
        GuiHarness harness;
        harness.window().findChild<QAction*>(QStringLiteral("connectAgentsCommand"))->trigger();
        emit harness.window()
            .findChild<EmptyStatePanel*>(QStringLiteral("taskListEmptyState"))
            ->linkActivated();
        QCOMPARE(harness.dialogs().agentConnections.size(), std::size_t(2));
        const auto& entries = harness.dialogs().agentConnections.front();
        QCOMPARE(entries.size(), std::size_t(3));
        QCOMPARE(entries[0].agent, std::string("codex"));
        QVERIFY(entries[2].text.find("\"KESTRIN_HOME\": \"" + harness.root().string()) !=
                std::string::npos);
        QCOMPARE(*harness.platform().pasteboard->content, qs(entries[0].text));
    }
};

QTEST_MAIN(RoadBackTest)
#include "RoadBackTest.moc"
