// The real window's detail pane: what it shows and what its controls do.

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "app/model/PlatformTexts.h"
#include "app/views/DetailCard.h"
#include "app/views/StepCard.h"
#include "app/views/TaskDetailView.h"
#include "app/views/widgets/AppAppearance.h"
#include "app/views/widgets/Callout.h"
#include "app/views/widgets/CodePanel.h"
#include "app/views/widgets/CopyFeedback.h"
#include "app/views/widgets/StatusPill.h"
#include "app/views/widgets/SymbolLabel.h"
#include "app/views/widgets/TextLabels.h"
#include "views/GuiHarness.h"

using namespace kestrin;
using namespace kestrin::testing;
using nlohmann::json;
using Edit = std::function<void(json&)>;
Q_DECLARE_METATYPE(Edit)

namespace {

const std::string taskKey = "rc-1::item-1";
const int feedbackWait = int(CopyFeedback::period.count()) + 1000;
using Tint = AppAppearance::Tint;

TaskDetailView& detail(GuiHarness& harness) {
    TaskDetailView* view = harness.window().detailView();
    if (view == nullptr) qFatal("no task detail shown");
    return *view;
}

template <typename Widget>
Widget* part(GuiHarness& harness, const char* name) {
    return detail(harness).findChild<Widget*>(QString::fromUtf8(name));
}

QList<StepCard*> stepCards(GuiHarness& harness) {
    return detail(harness).findChildren<StepCard*>();
}

bool tinted(GuiHarness& harness, const char* name, Tint tint) {
    return part<StatusPill>(harness, name)->color() == AppAppearance::color(tint);
}

void tickAll(GuiHarness& harness) {
    for (StepCard* card : stepCards(harness)) {
        if (!card->isCompleted()) card->toggleButton()->click();
    }
    harness.settle();
}

QString storedNote(const std::filesystem::path& root) {
    auto store = SQLiteTaskStore::open(root / "tasks.sqlite");
    if (!store) return QStringLiteral("<no store>");
    auto note = (*store)->note(taskKey);
    return note ? qs(*note) : QStringLiteral("<error>");
}

void handBack(GuiHarness& harness) {
    harness.tickBothSteps(taskKey);
    part<QPushButton>(harness, "copyResumeButton")->click();
    harness.settle();
}

}  // namespace

class TaskDetailViewTest : public QObject {
    Q_OBJECT

private slots:
    void thePaneFollowsTheTaskInPlace() {
        GuiHarness harness;
        harness.add(receiptWith([](json& r) { r["items"][0]["priority"] = "critical"; }));
        QVERIFY(tinted(harness, "statusPill", Tint::orange) &&
                tinted(harness, "priorityPill", Tint::red));
        QCOMPARE(QStringList({part<QLabel>(harness, "detailTitle")->text(),
                              part<QLabel>(harness, "expectedOutcome")->text(),
                              part<SymbolLabel>(harness, "stepProgress")->text()}),
                 texts({"Restart the proxy", "The proxy answers again.", "0/2 步"}));
        QStringList values;
        for (QLabel* label : part<DetailCard>(harness, "reasonCard")->findChildren<QLabel*>()) {
            if (!label->accessibleName().isEmpty())
                values << label->accessibleName() + u'=' + label->text();
        }
        QCOMPARE(values, texts({"原 Agent 状态=等待本人操作", "原任务=Fix the proxy",
                                "项目路径=/work/alpha", "回执版本=rc-1 · v1"}));
        QVERIFY(!part<DetailCard>(harness, "prerequisitesCard") &&
                !part<Callout>(harness, "riskCallout"));
        verifyShown(
            detail(harness),
            texts({"为什么现在需要你", "约 5 分钟", "安排状态", "暂缓提醒或切换等待状态", "15 分钟",
                   "明天", "等待外部结果", "移回待处理", "本人操作结果和错误备注", "先完成所有步骤",
                   "完成这一步", "要粘贴的完整命令", "复制命令",
                   "直接取消并关闭；无需完成步骤或复制恢复消息",
                   "会要求确认，然后把事项标记为已取消；已勾选步骤会保留"}) +
                QStringList{QStringLiteral("只会复制并切换任务；请核对窗口后按 %1，再检查内容"
                                           "并按 Return。")
                                .arg(PlatformTexts::pasteShortcut())});

        // A tick moves the task to in progress; the pane updates in place.
        QPlainTextEdit* editor = part<QPlainTextEdit>(harness, "noteEditor");
        QToolButton* toggle = stepCards(harness)[0]->toggleButton();
        auto* copy = part<QPushButton>(harness, "copyResumeButton");
        auto* back = part<QPushButton>(harness, "returnToCodexButton");
        QCOMPARE(toggle->accessibleName(), QStringLiteral("第 1 步，未完成"));
        toggle->click();
        harness.settle();
        QCOMPARE(part<QPlainTextEdit>(harness, "noteEditor"), editor);
        QVERIFY(tinted(harness, "statusPill", Tint::blue));
        QCOMPARE(part<SymbolLabel>(harness, "stepProgress")->text(), QStringLiteral("1/2 步"));
        QCOMPARE(toggle->accessibleName(), QStringLiteral("第 1 步，已完成"));
        QVERIFY(!copy->isEnabled() && !back->isEnabled());

        // The copy buttons wait for every step.
        tickAll(harness);
        QVERIFY(copy->isEnabled() && back->isEnabled());
        verifyShown(detail(harness), texts({"标记为未完成", "复制后手动粘贴回原 Agent 任务"}));
        copy->click();
        QCOMPARE(copy->text(), QStringLiteral("恢复消息已复制"));
        QVERIFY(harness.platform().pasteboard->content.has_value());
        harness.settle();
        QTRY_COMPARE_WITH_TIMEOUT(copy->text(), QStringLiteral("复制恢复消息"), feedbackWait);

        // Prerequisites; risk and rollback when present and not empty.
        harness.add(receiptWith([](json& r) {
            r["version"] = 2;
            r["items"][0].update({{"prerequisites", {"VPN connected", "Admin account"}},
                                  {"risk", "   "},
                                  {"rollback", ""}});
        }));
        QStringList labels;
        for (QLabel* label :
             part<DetailCard>(harness, "prerequisitesCard")->findChildren<QLabel*>()) {
            labels << label->text();
        }
        QVERIFY(labels.contains(QStringLiteral("2")) &&
                labels.contains(QStringLiteral("VPN connected")));
        QCOMPARE(part<Callout>(harness, "riskCallout")->text(), QStringLiteral("   "));
        verifyShown(detail(harness), texts({"开始前先确认", "风险"}));
        QVERIFY(part<Callout>(harness, "rollbackCallout") == nullptr);
        harness.add(receiptWith([](json& r) {
            r["version"] = 3;
            r["items"][0]["rollback"] = "Start the old proxy.";
        }));
        QCOMPARE(part<Callout>(harness, "rollbackCallout")->title() + u' ' +
                     part<Callout>(harness, "rollbackCallout")->text(),
                 QStringLiteral("回退办法 Start the old proxy."));
    }

    void stepCardsShowCommandsAndPasswordGuidanceOnlyWhenNeeded() {
        GuiHarness harness;
        harness.add(receiptWith([](json& r) {
            std::swap(r["items"][0]["steps"][0],
                      r["items"][0]["steps"][1]);  // cards follow `order`
            r["items"][0]["steps"][0].update({{"working_directory", ""}, {"command", ""}});
            r["items"][0]["steps"][1].update(
                {{"requires_password", true}, {"password_prompt", "At sudo."}});
        }));
        const QList<StepCard*> cards = stepCards(harness);
        QCOMPARE(cards.size(), 2);
        StepCard* first = cards[0];
        QCOMPARE(first->step().id, std::string("step-1"));
        QCOMPARE(first->findChild<QLabel*>(QStringLiteral("stepCaption"))->text(),
                 QStringLiteral("第 1 步 · 运行命令"));
        auto* directory = first->findChild<CodePanel*>(QStringLiteral("workingDirectoryPanel"));
        QCOMPARE(directory->value(), QStringLiteral("/work/alpha"));
        QVERIFY(cards[1]->findChild<CodePanel*>() == nullptr);  // empty command and directory
        QVERIFY(!cards[1]->copyCommandButton() && !cards[1]->openTerminalButton());
        QVERIFY(cards[1]->findChild<Callout*>() == nullptr);
        auto* password = first->findChild<Callout*>(QStringLiteral("passwordCallout"));
        QCOMPARE(password->title() + u' ' + password->text(),
                 QStringLiteral("密码只在系统提示中输入 At sudo."));

        first->copyCommandButton()->click();
        QCOMPARE(harness.platform().pasteboard->content, QStringLiteral("systemctl restart proxy"));
        QCOMPARE(first->copyCommandButton()->text(), QStringLiteral("命令已复制"));
        first->openTerminalButton()->click();
        QCOMPARE(harness.platform().workspace->terminalDirectories, texts({"/work/alpha"}));
        directory->copyButton()->click();
        QCOMPARE(harness.platform().pasteboard->content, QStringLiteral("/work/alpha"));
        QCOMPARE(directory->copyButton()->toolTip(), QStringLiteral("已复制工作目录"));
        QTRY_COMPARE_WITH_TIMEOUT(directory->copyButton()->toolTip(),
                                  QStringLiteral("复制工作目录"), feedbackWait);
        // Without a prompt of its own, or a blank one: the default guidance.
        ActionStep step;
        step.requiresPassword = true;
        QCOMPARE(StepCard(step, false).findChild<Callout*>()->text(),
                 StepCard::defaultPasswordGuidance);
        step.passwordPrompt = " ";
        QCOMPARE(StepCard(step, false).findChild<Callout*>()->text(),
                 StepCard::defaultPasswordGuidance);
    }

    void stepCardsNameTheirCommandsRisksAboveTheCopyButton() {
        GuiHarness harness;
        harness.add(readFile(guiTestData("risky-cleanup.json")));
        harness.window().resize(1200, 900);  // laid out as the user sees it
        harness.window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&harness.window()));
        const QList<StepCard*> cards = stepCards(harness);
        QCOMPARE(cards.size(), 3);
        const std::vector<std::vector<CommandRisk>> expected = {
            {CommandRisk::runsDownloadedCode, CommandRisk::raisesPrivileges},
            {CommandRisk::deletesOutsideProject, CommandRisk::forcePushes},
            {}};
        const auto top = [](QWidget* widget) {
            return widget->mapTo(widget->window(), QPoint(0, 0)).y();
        };
        for (int i = 0; i < cards.size(); ++i) {
            auto* callout = cards[i]->findChild<Callout*>(QStringLiteral("commandRiskCallout"));
            QCOMPARE(callout == nullptr, expected[i].empty());
            if (!callout) continue;
            QStringList lines;
            for (const CommandRisk risk : expected[i])
                lines << QStringLiteral("· ") + TextLabels::text(displayName(risk));
            QCOMPARE(callout->title() + u'\n' + callout->text(),
                     QStringLiteral("运行前再看一眼\n") + lines.join(u'\n'));
            QCOMPARE(callout->color(), AppAppearance::color(Tint::red));
            QVERIFY(top(callout) + callout->height() <= top(cards[i]->copyCommandButton()));
            QVERIFY(top(cards[i]->findChild<QWidget*>(QStringLiteral("commandPanel"))) <
                    top(callout));
        }
        cards[1]->copyCommandButton()->click();  // the flags advise, copying still works
        QCOMPARE(harness.platform().pasteboard->content,
                 QStringLiteral("rm -rf ~/Library/Caches/shop && git push --force origin main"));
    }

    void handBackButtonsFollowTheAgentAndThread_data() {
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<bool>("manualCallout");
        QTest::newRow("codex thread") << Edit([](json&) {})
                                      << texts({"copyResumeButton", "returnToCodexButton",
                                                "openCodexButton", "closeTaskButton"})
                                      << false;
        QTest::newRow("codex without thread")
            << Edit([](json& r) { r["source"].erase("task_id"); })
            << texts({"copyResumeButton", "openCodexButton", "closeTaskButton"}) << true;
        QTest::newRow("another agent")
            << Edit([](json& r) { r["source"]["agent"] = "claude_code"; })
            << texts({"copyResumeButton", "closeTaskButton"}) << false;
    }
    void handBackButtonsFollowTheAgentAndThread() {
        QFETCH(Edit, edit);
        QFETCH(QStringList, buttons);
        QFETCH(bool, manualCallout);
        GuiHarness harness;
        harness.add(receiptWith(edit));
        QStringList shown;
        QWidget* row = part<QPushButton>(harness, "copyResumeButton")->parentWidget();
        for (QPushButton* button : row->findChildren<QPushButton*>(Qt::FindDirectChildrenOnly)) {
            if (!button->isHidden()) shown << button->objectName();
        }
        QCOMPARE(shown, buttons);
        QCOMPARE(part<Callout>(harness, "manualCodexCallout") != nullptr, manualCallout);
        auto* caption = part<SymbolLabel>(harness, "codexReturnCaption");
        QCOMPARE(caption != nullptr, buttons.contains(QStringLiteral("returnToCodexButton")));
        if (!caption) return;
        QVERIFY(caption->text().contains(PlatformTexts::pasteShortcut()));
        tickAll(harness);
        part<QPushButton>(harness, "returnToCodexButton")->click();
        harness.settle();
        QCOMPARE(harness.platform().workspace->openedURLs.size(), 1);  // the link is the model's
        harness.platform().workspace->codexInstalled = false;
        part<QPushButton>(harness, "openCodexButton")->click();
        harness.settle();
        QCOMPARE(harness.dialogs().notices.size(), 2);  // the model's: returned, no Codex
    }

    void tabReachesEveryControlTheToolbarSchedulesAndClosingDependsOnTheStatus() {
        GuiHarness harness;
        harness.add(baseReceipt().dump());
        tickAll(harness);
        QVERIFY(harness.showActive());
        auto* open = part<QToolButton>(harness, "openProjectButton");
        open->setFocus();
        QStringList reached;
        for (int press = 0; press < 20; ++press) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focus = QApplication::focusWidget();
            if (focus == nullptr || !detail(harness).isAncestorOf(focus)) break;
            reached << focus->objectName();
        }
        QCOMPARE(reached, texts({"scheduleButton", "stepToggle", "codePanelCopyButton",
                                 "codePanelCopyButton", "copyCommandButton", "openTerminalButton",
                                 "stepToggle", "noteEditor", "copyResumeButton",
                                 "returnToCodexButton", "openCodexButton", "closeTaskButton"}));
        QToolButton* toggle = stepCards(harness)[1]->toggleButton();
        toggle->setFocus();
        QTest::keyClick(toggle, Qt::Key_Space);  // unticks its step
        harness.settle();
        QVERIFY(!harness.task(taskKey).isStepComplete("step-2"));

        open->click();
        QCOMPARE(harness.platform().workspace->openedFolders, texts({"/work/alpha"}));
        harness.model().setSelection(SidebarSelection::all());
        const auto choose = [&harness](int index) {
            detail(harness).scheduleMenu()->actions()[index]->trigger();
            harness.settle();
            return harness.task(taskKey);
        };
        const Timestamp before = currentTimestamp();
        const TaskRecord snoozed = choose(1);  // "1 小时"
        QCOMPARE(snoozed.status, TaskStatus::snoozed);
        QVERIFY(*snoozed.snoozedUntil >= before + std::chrono::hours(1));
        QVERIFY(*snoozed.snoozedUntil <= currentTimestamp() + std::chrono::hours(1));
        QCOMPARE(choose(4).status, TaskStatus::waitingExternal);
        QCOMPARE(choose(5).status, TaskStatus::pending);
        // Closing: cancelling asks first; a task ready to resume completes.
        const auto close = [&harness] { return part<QPushButton>(harness, "closeTaskButton"); };
        harness.setStatus(taskKey, TaskStatus::waitingExternal);
        harness.reload();
        harness.dialogs().confirmAnswer = false;
        close()->click();
        QVERIFY(detail(harness).isShowingCancelConfirmation());
        harness.settle();
        QCOMPARE(harness.dialogs().confirmations.constFirst(),
                 (ConfirmationRequest{
                     QStringLiteral("取消并关闭“Restart the proxy”？"),
                     QStringLiteral("无需勾完步骤，也不会生成或复制恢复消息。已勾选的步骤会"
                                    "保留；之后可在“已取消”中把事项移回待处理。"),
                     QStringLiteral("取消并关闭事项"), QStringLiteral("继续保留事项")}));
        QVERIFY(!detail(harness).isShowingCancelConfirmation());
        QCOMPARE(harness.task(taskKey).status, TaskStatus::waitingExternal);
        harness.dialogs().confirmAnswer = true;
        close()->click();
        harness.settle();
        QCOMPARE(harness.task(taskKey).status, TaskStatus::cancelled);
        QVERIFY(close() == nullptr);
        // Ready to resume: closing completes the task, without asking.
        harness.setStatus(taskKey, TaskStatus::readyToResume);
        harness.reload();
        QCOMPARE(close()->toolTip(), QStringLiteral("确认恢复消息已经回传后，再关闭事项"));
        close()->click();
        harness.settle();
        QCOMPARE(harness.task(taskKey).status, TaskStatus::completed);
        QVERIFY(close() == nullptr);
        QCOMPARE(harness.dialogs().confirmations.size(), 2);
    }

    // At once on a hand-back: an agent may wait for the status that follows.
    void notesAreStoredAfterAPauseAtTheHandBackAndOnClose() {
        GuiHarness harness;
        harness.add(receiptOf("rc-1", "alpha", {"First", "Second"}));
        auto* editor = part<QPlainTextEdit>(harness, "noteEditor");
        editor->insertPlainText(QStringLiteral("代理已重启"));
        QCOMPARE(storedNote(harness.root()), QString());
        QTRY_COMPARE(storedNote(harness.root()), QStringLiteral("代理已重启"));
        harness.model().updateTaskSelection({"rc-1::item-2"});
        harness.settle();
        QCOMPARE(detail(harness).taskKey(), std::string("rc-1::item-2"));
        QCOMPARE(part<QPlainTextEdit>(harness, "noteEditor")->toPlainText(), QString());
        harness.model().updateTaskSelection({taskKey});
        harness.settle();
        editor = part<QPlainTextEdit>(harness, "noteEditor");
        QCOMPARE(editor->toPlainText() + detail(harness).noteDraft(),
                 QStringLiteral("代理已重启代理已重启"));
        editor->moveCursor(QTextCursor::End);
        editor->insertPlainText(QStringLiteral("，日志正常"));
        handBack(harness);
        QCOMPARE(storedNote(harness.root()), QStringLiteral("代理已重启，日志正常"));
        QVERIFY(harness.platform().pasteboard->content->contains(
            QStringLiteral("代理已重启，日志正常")));
        part<QPlainTextEdit>(harness, "noteEditor")->insertPlainText(QStringLiteral("。"));
        harness.window().close();
        QCOMPARE(storedNote(harness.root()), QStringLiteral("代理已重启，日志正常。"));
    }

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
};

QTEST_MAIN(TaskDetailViewTest)
#include "TaskDetailViewTest.moc"
