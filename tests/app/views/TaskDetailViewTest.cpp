#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
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
#include "views/GuiHarness.h"

using namespace kestrin;
using namespace kestrin::testing;
using nlohmann::json;
using Edit = std::function<void(json&)>;
Q_DECLARE_METATYPE(Edit)

namespace {

const std::string taskKey = "rc-1::item-1";
const int feedbackWait = int(CopyFeedback::period.count()) + 1000;

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

// "title|icon" of a pill, and its colour is `tint`.
QString pill(GuiHarness& harness, const char* name, AppAppearance::Tint tint) {
    auto* shown = part<StatusPill>(harness, name);
    if (shown->color() != AppAppearance::color(tint)) return QStringLiteral("wrong colour");
    return shown->title() + QLatin1Char('|') + qs(shown->icon());
}

void tickAll(GuiHarness& harness) {
    for (StepCard* card : stepCards(harness)) {
        if (!card->isCompleted()) card->toggleButton()->click();
    }
    harness.settle();
}

}  // namespace

class TaskDetailViewTest : public QObject {
    Q_OBJECT

private slots:
    void headerAndCardsShowTheTask() {
        GuiHarness harness;
        harness.add(receiptWith([](json& r) { r["items"][0]["priority"] = "critical"; }));
        using Tint = AppAppearance::Tint;
        QCOMPARE(pill(harness, "statusPill", Tint::orange), QStringLiteral("待处理|tray.full"));
        QCOMPARE(pill(harness, "priorityPill", Tint::red), QStringLiteral("立即处理|flag.fill"));
        QCOMPARE(part<QLabel>(harness, "detailTitle")->text(), QStringLiteral("Restart the proxy"));
        QCOMPARE(part<QLabel>(harness, "expectedOutcome")->text(),
                 QStringLiteral("The proxy answers again."));
        QCOMPARE(part<SymbolLabel>(harness, "stepProgress")->text(), QStringLiteral("0/2 步"));
        QCOMPARE(detail(harness).windowTitle(), QStringLiteral("Restart the proxy"));
        auto* reason = part<DetailCard>(harness, "reasonCard");
        QStringList values;
        for (QLabel* label : reason->findChildren<QLabel*>()) {
            if (!label->accessibleName().isEmpty()) {
                values << label->accessibleName() + QLatin1Char('=') + label->text();
            }
        }
        QCOMPARE(values, texts({"原 Agent 状态=等待本人操作", "原任务=Fix the proxy",
                                "项目路径=/work/alpha", "回执版本=rc-1 · v1"}));
        QVERIFY(part<DetailCard>(harness, "prerequisitesCard") == nullptr);
        QVERIFY(part<Callout>(harness, "riskCallout") == nullptr);
        QVERIFY(part<Callout>(harness, "rollbackCallout") == nullptr);

        // A tick moves the task to in progress; the pane updates in place.
        QPlainTextEdit* editor = part<QPlainTextEdit>(harness, "noteEditor");
        stepCards(harness).constFirst()->toggleButton()->click();
        harness.settle();
        QCOMPARE(part<QPlainTextEdit>(harness, "noteEditor"), editor);
        QCOMPARE(pill(harness, "statusPill", Tint::blue).section(QLatin1Char('|'), 0, 0),
                 QStringLiteral("处理中"));
        QCOMPARE(part<SymbolLabel>(harness, "stepProgress")->text(), QStringLiteral("1/2 步"));

        // Prerequisites, and risk and rollback when present and not empty.
        harness.add(receiptWith([](json& r) {
            r["version"] = 2;
            r["items"][0]["prerequisites"] = {"VPN connected", "Admin account"};
            r["items"][0]["risk"] = "   ";
            r["items"][0]["rollback"] = "";
        }));
        auto* prerequisites = part<DetailCard>(harness, "prerequisitesCard");
        QCOMPARE(prerequisites->title(), QStringLiteral("开始前先确认"));
        QStringList labels;
        for (QLabel* label : prerequisites->findChildren<QLabel*>()) labels << label->text();
        QVERIFY(labels.contains(QStringLiteral("2")) &&
                labels.contains(QStringLiteral("VPN connected")));
        auto* risk = part<Callout>(harness, "riskCallout");
        QCOMPARE(risk->title() + risk->text(), QStringLiteral("风险   "));
        QCOMPARE(risk->color(), AppAppearance::color(Tint::orange));
        QVERIFY(part<Callout>(harness, "rollbackCallout") == nullptr);
        harness.add(receiptWith([](json& r) {
            r["version"] = 3;
            r["items"][0]["rollback"] = "Start the old proxy.";
        }));
        auto* rollback = part<Callout>(harness, "rollbackCallout");
        QCOMPARE(rollback->title() + rollback->text(),
                 QStringLiteral("回退办法Start the old proxy."));
        QCOMPARE(rollback->color(), AppAppearance::color(Tint::blue));
    }

    void stepCardsShowCommandsOnlyWhenThereIsOne() {
        GuiHarness harness;
        harness.add(receiptWith([](json& r) {
            // Out of order on purpose: the cards follow `order`.
            std::swap(r["items"][0]["steps"][0], r["items"][0]["steps"][1]);
            r["items"][0]["steps"][0]["working_directory"] = "";
            r["items"][0]["steps"][0]["command"] = "";
        }));
        const QList<StepCard*> cards = stepCards(harness);
        QCOMPARE(cards.size(), 2);
        StepCard* first = cards[0];
        QCOMPARE(first->step().id, std::string("step-1"));
        QCOMPARE(first->findChild<QLabel*>(QStringLiteral("stepCaption"))->text(),
                 QStringLiteral("第 1 步 · 运行命令"));
        auto* directory = first->findChild<CodePanel*>(QStringLiteral("workingDirectoryPanel"));
        QCOMPARE(directory->label() + directory->value(), QStringLiteral("工作目录/work/alpha"));
        auto* command = first->findChild<CodePanel*>(QStringLiteral("commandPanel"));
        QCOMPARE(command->label() + command->value(),
                 QStringLiteral("要粘贴的完整命令systemctl restart proxy"));
        QCOMPARE(first->openTerminalButton()->text(), QStringLiteral("打开终端"));
        // Empty command and directory: no panels, no buttons.
        QCOMPARE(cards[1]->findChild<QLabel*>(QStringLiteral("stepCaption"))->text(),
                 QStringLiteral("第 2 步 · 核验结果"));
        QVERIFY(cards[1]->findChild<CodePanel*>() == nullptr);
        QVERIFY(!cards[1]->copyCommandButton() && !cards[1]->openTerminalButton());

        first->copyCommandButton()->click();
        QCOMPARE(harness.platform().pasteboard->content, QStringLiteral("systemctl restart proxy"));
        QCOMPARE(first->copyCommandButton()->text(), QStringLiteral("命令已复制"));
        QTRY_COMPARE_WITH_TIMEOUT(first->copyCommandButton()->text(), QStringLiteral("复制命令"),
                                  feedbackWait);
        first->openTerminalButton()->click();
        QCOMPARE(harness.platform().workspace->terminalDirectories, texts({"/work/alpha"}));
        directory->copyButton()->click();
        QCOMPARE(harness.platform().pasteboard->content, QStringLiteral("/work/alpha"));
        QCOMPARE(directory->copyButton()->toolTip(), QStringLiteral("已复制工作目录"));
        QTRY_COMPARE_WITH_TIMEOUT(directory->copyButton()->toolTip(),
                                  QStringLiteral("复制工作目录"), feedbackWait);
    }

    void passwordStepsExplainWhereToType() {
        GuiHarness harness;
        harness.add(receiptWith([](json& r) {
            r["items"][0]["steps"][0]["requires_password"] = true;
            r["items"][0]["steps"][0]["password_prompt"] = "Type it at the sudo prompt.";
        }));
        auto* callout =
            stepCards(harness)[0]->findChild<Callout*>(QStringLiteral("passwordCallout"));
        QCOMPARE(callout->title(), QStringLiteral("密码只在系统提示中输入"));
        QCOMPARE(callout->text(), QStringLiteral("Type it at the sudo prompt."));
        QVERIFY(stepCards(harness)[1]->findChild<Callout*>() == nullptr);
        // Without a prompt of its own, or a blank one: the default guidance.
        ActionStep step;
        step.id = "pw";
        step.order = 1;
        step.requiresPassword = true;
        QCOMPARE(StepCard(step, false).findChild<Callout*>()->text(),
                 QStringLiteral("输入时字符不会显示；不要把密码粘贴到任务卡或 Agent。需要取消时按 "
                                "Control-C。"));
        step.passwordPrompt = " ";
        QCOMPARE(StepCard(step, false).findChild<Callout*>()->text(),
                 StepCard::defaultPasswordGuidance);
    }

    void togglesTickStepsAndTheCopyButtonsWaitForAll() {
        GuiHarness harness;
        harness.add(baseReceipt().dump());
        QToolButton* toggle = stepCards(harness)[0]->toggleButton();
        auto* copy = part<QPushButton>(harness, "copyResumeButton");
        auto* back = part<QPushButton>(harness, "returnToCodexButton");
        QCOMPARE(toggle->accessibleName() + toggle->toolTip(),
                 QStringLiteral("第 1 步，未完成完成这一步"));
        QVERIFY(!copy->isEnabled() && !back->isEnabled());
        QCOMPARE(copy->toolTip(), QStringLiteral("先完成所有步骤"));
        QCOMPARE(back->toolTip(), QStringLiteral("先完成所有步骤"));
        toggle->click();
        harness.settle();
        QVERIFY(harness.task(taskKey).isStepComplete("step-1"));
        QCOMPARE(toggle->accessibleName() + toggle->toolTip(),
                 QStringLiteral("第 1 步，已完成标记为未完成"));
        QVERIFY(!copy->isEnabled());
        toggle->click();
        harness.settle();
        QVERIFY(!harness.task(taskKey).isStepComplete("step-1"));

        tickAll(harness);
        QVERIFY(copy->isEnabled() && back->isEnabled());
        QCOMPARE(copy->toolTip(), QStringLiteral("复制后手动粘贴回原 Agent 任务"));
        QCOMPARE(back->toolTip(), QStringLiteral("复制恢复消息并打开原 Codex 任务；不会自动发送"));
        copy->click();
        QCOMPARE(copy->text(), QStringLiteral("恢复消息已复制"));
        QCOMPARE(copy->accessibleName(), QStringLiteral("恢复消息已复制"));
        QVERIFY(harness.platform().pasteboard->content.has_value());
        harness.settle();
        QCOMPARE(harness.task(taskKey).status, TaskStatus::readyToResume);
        QTRY_COMPARE_WITH_TIMEOUT(copy->text(), QStringLiteral("复制恢复消息"), feedbackWait);
    }

    void handBackButtonsFollowTheAgentAndThread_data() {
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<bool>("caption");
        QTest::addColumn<bool>("manualCallout");
        QTest::newRow("codex thread") << Edit([](json&) {})
                                      << texts({"copyResumeButton", "returnToCodexButton",
                                                "openCodexButton", "closeTaskButton"})
                                      << true << false;
        QTest::newRow("codex without thread")
            << Edit([](json& r) { r["source"].erase("task_id"); })
            << texts({"copyResumeButton", "openCodexButton", "closeTaskButton"}) << false << true;
        QTest::newRow("another agent")
            << Edit([](json& r) { r["source"]["agent"] = "claude_code"; })
            << texts({"copyResumeButton", "closeTaskButton"}) << false << false;
    }
    void handBackButtonsFollowTheAgentAndThread() {
        QFETCH(Edit, edit);
        QFETCH(QStringList, buttons);
        QFETCH(bool, caption);
        QFETCH(bool, manualCallout);
        GuiHarness harness;
        harness.add(receiptWith(edit));
        QStringList shown;
        QWidget* row = part<QPushButton>(harness, "copyResumeButton")->parentWidget();
        for (QPushButton* button : row->findChildren<QPushButton*>(Qt::FindDirectChildrenOnly)) {
            if (!button->isHidden()) shown << button->objectName();
        }
        QCOMPARE(shown, buttons);
        auto* captionLabel = part<SymbolLabel>(harness, "codexReturnCaption");
        QCOMPARE(captionLabel != nullptr, caption);
        auto* callout = part<Callout>(harness, "manualCodexCallout");
        QCOMPARE(callout != nullptr, manualCallout);
        if (callout) QCOMPARE(callout->title(), QStringLiteral("需要手动返回 Codex"));
        if (!caption) return;
        QCOMPARE(captionLabel->text(), QStringLiteral("只会复制并切换任务；请核对窗口后按 ") +
                                           PlatformTexts::pasteShortcut() +
                                           QStringLiteral("，再检查内容并按 Return。"));
        QCOMPARE(part<QPushButton>(harness, "returnToCodexButton")->text(),
                 QStringLiteral("复制并返回 Codex"));
        tickAll(harness);
        part<QPushButton>(harness, "returnToCodexButton")->click();
        harness.settle();
        QCOMPARE(harness.platform().workspace->openedURLs.constFirst().toString(),
                 QStringLiteral("codex://threads/3f2b9c1e-8a47-4d6b-9e21-5c0d7a4b8f13"));
        harness.platform().workspace->codexInstalled = false;
        part<QPushButton>(harness, "openCodexButton")->click();
        harness.settle();
        QCOMPARE(harness.dialogs().notices.size(), 2);  // the model's: returned, no Codex
    }

    void closingDependsOnTheStatusAndCancellingAsksFirst() {
        GuiHarness harness;
        harness.add(baseReceipt().dump());
        const auto close = [&harness] { return part<QPushButton>(harness, "closeTaskButton"); };
        QCOMPARE(close()->text(), QStringLiteral("关闭事项"));
        QCOMPARE(close()->accessibleDescription(),
                 QStringLiteral("会要求确认，然后把事项标记为已取消；已勾选步骤会保留"));
        harness.model().setSelection(SidebarSelection::all());
        for (TaskStatus status : {TaskStatus::pending, TaskStatus::inProgress, TaskStatus::snoozed,
                                  TaskStatus::waitingExternal}) {
            harness.setStatus(taskKey, status,
                              status == TaskStatus::snoozed
                                  ? std::optional(currentTimestamp() + std::chrono::hours(1))
                                  : std::nullopt);
            harness.reload();
            QCOMPARE(close()->toolTip(),
                     QStringLiteral("直接取消并关闭；无需完成步骤或复制恢复消息"));
        }
        harness.setStatus(taskKey, TaskStatus::pending);
        harness.reload();
        harness.dialogs().confirmAnswer = false;
        close()->click();
        QVERIFY(detail(harness).isShowingCancelConfirmation());
        harness.settle();
        QCOMPARE(harness.dialogs().confirmations.constFirst(),
                 (ConfirmationRequest{
                     QStringLiteral("取消并关闭“Restart the proxy”？"),
                     QStringLiteral("无需勾完步骤，也不会生成或复制恢复消息。已勾选的"
                                    "步骤会保留；之后可在“已取消”中把事项移回待处理。"),
                     QStringLiteral("取消并关闭事项"), QStringLiteral("继续保留事项")}));
        QVERIFY(!detail(harness).isShowingCancelConfirmation());
        QCOMPARE(harness.task(taskKey).status, TaskStatus::pending);
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

    void notesSurviveASwitchOfTask() {
        GuiHarness harness;
        harness.add(receiptOf("rc-1", "alpha", {"First", "Second"}));
        QTest::keyClicks(part<QPlainTextEdit>(harness, "noteEditor"), QStringLiteral("It failed"));
        QCOMPARE(harness.model().note(taskKey), QStringLiteral("It failed"));
        QCOMPARE(part<QPlainTextEdit>(harness, "noteEditor")->accessibleName(),
                 QStringLiteral("本人操作结果和错误备注"));
        harness.model().updateTaskSelection({"rc-1::item-2"});
        harness.settle();
        QCOMPARE(detail(harness).taskKey(), std::string("rc-1::item-2"));
        QCOMPARE(part<QPlainTextEdit>(harness, "noteEditor")->toPlainText(), QString());
        harness.model().updateTaskSelection({taskKey});
        harness.settle();
        QCOMPARE(part<QPlainTextEdit>(harness, "noteEditor")->toPlainText(),
                 QStringLiteral("It failed"));
        QCOMPARE(detail(harness).noteDraft(), QStringLiteral("It failed"));
    }

    void tabReachesEveryControlOfTheSheet() {
        GuiHarness harness;
        harness.add(baseReceipt().dump());
        tickAll(harness);
        MainWindow& window = harness.window();
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        part<QToolButton>(harness, "openProjectButton")->setFocus();
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
        // Space on a toggle unticks its step.
        QToolButton* toggle = stepCards(harness)[1]->toggleButton();
        toggle->setFocus();
        QTest::keyClick(toggle, Qt::Key_Space);
        harness.settle();
        QVERIFY(!harness.task(taskKey).isStepComplete("step-2"));
    }

    void toolbarOpensTheProjectAndSchedules() {
        GuiHarness harness;
        harness.add(baseReceipt().dump());
        auto* open = part<QToolButton>(harness, "openProjectButton");
        QCOMPARE(open->text() + open->toolTip(),
                 QStringLiteral("打开项目在文件管理器中打开项目文件夹"));
        open->click();
        QCOMPARE(harness.platform().workspace->openedFolders, texts({"/work/alpha"}));
        auto* schedule = part<QToolButton>(harness, "scheduleButton");
        QCOMPARE(schedule->text() + schedule->toolTip(),
                 QStringLiteral("安排状态暂缓提醒或切换等待状态"));
        QStringList items;
        const QList<QAction*> actions = detail(harness).scheduleMenu()->actions();
        for (QAction* action : actions)
            items << (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(items, texts({"15 分钟", "1 小时", "明天", "-", "等待外部结果", "移回待处理"}));

        harness.model().setSelection(SidebarSelection::all());
        const Timestamp before = currentTimestamp();
        actions[1]->trigger();
        harness.settle();
        QCOMPARE(harness.task(taskKey).status, TaskStatus::snoozed);
        QVERIFY(*harness.task(taskKey).snoozedUntil >= before + std::chrono::seconds(3600));
        QVERIFY(*harness.task(taskKey).snoozedUntil <=
                currentTimestamp() + std::chrono::seconds(3600));
        detail(harness).scheduleMenu()->actions()[4]->trigger();
        harness.settle();
        QCOMPARE(harness.task(taskKey).status, TaskStatus::waitingExternal);
        QVERIFY(!harness.task(taskKey).snoozedUntil);
        detail(harness).scheduleMenu()->actions()[5]->trigger();
        harness.settle();
        QCOMPARE(harness.task(taskKey).status, TaskStatus::pending);
    }
};

QTEST_MAIN(TaskDetailViewTest)
#include "TaskDetailViewTest.moc"
