#include "app/views/TaskDetailView.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>

#include "app/model/AppModel.h"
#include "app/model/PlatformTexts.h"
#include "app/model/QtText.h"
#include "app/views/DetailCard.h"
#include "app/views/StepCard.h"
#include "app/views/dialogs/ViewDialogs.h"
#include "app/views/widgets/AppAppearance.h"
#include "app/views/widgets/Callout.h"
#include "app/views/widgets/ColumnHeader.h"
#include "app/views/widgets/CopyFeedback.h"
#include "app/views/widgets/SectionHeader.h"
#include "app/views/widgets/StatusPill.h"
#include "app/views/widgets/SymbolIcons.h"
#include "app/views/widgets/SymbolLabel.h"
#include "app/views/widgets/TextLabels.h"
#include "app/views/dialogs/ViewDialogs.h"
#include "core/checks/CommandRiskPolicy.h"
#include "core/handback/SessionResumeCommand.h"
#include "core/handback/SourceLinkResolver.h"
#include "core/intake/AgentResultTool.h"

namespace kestrin {
namespace {

using Style = AppAppearance::TextStyle;
using Tint = AppAppearance::Tint;

constexpr int maximumSheetWidth = 880;

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, AppAppearance::color(Tint::separator));
    line->setPalette(palette);
    return line;
}

QString stepProgressText(const TaskRecord& task) {
    return QString::number(task.completedStepCount()) + QLatin1Char('/') +
           QString::number(task.totalStepCount()) + QStringLiteral(" 步");
}

// Everything but the working state: when this differs, the sheet is rebuilt.
bool sameContent(const TaskRecord& a, const TaskRecord& b) {
    return a.receiptID == b.receiptID && a.receiptVersion == b.receiptVersion &&
           a.project == b.project && a.source == b.source && a.receiptState == b.receiptState &&
           a.item == b.item;
}

}  // namespace

bool TaskDetailView::allStepsDone(const TaskRecord& task) {
    return task.completedStepCount() == task.totalStepCount();
}

TaskDetailView::TaskDetailView(AppModel& model, ViewDialogs& dialogs, const TaskRecord& task,
                               QWidget* parent)
    : QWidget(parent),
      model_(model),
      dialogs_(dialogs),
      task_(task),
      resumeFeedback_(new CopyFeedback(this)),
      header_(nullptr),
      scheduleMenu_(new QMenu(this)),
      scroll_(new QScrollArea(this)) {
    setObjectName(QStringLiteral("taskDetailView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // The toolbar: the item title, "打开项目" and the "安排状态" menu.
    header_ = new ColumnHeader(TextLabels::text(task.item.title), this);
    header_->setObjectName(QStringLiteral("detailHeader"));
    auto* openProject = new QToolButton(this);
    openProject->setObjectName(QStringLiteral("openProjectButton"));
    openProject->setText(QStringLiteral("打开项目"));
    openProject->setIcon(SymbolIcons::icon("folder"));
    openProject->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    openProject->setAutoRaise(true);
    openProject->setToolTip(PlatformTexts::inFileManager() + QStringLiteral("打开项目文件夹"));
    connect(openProject, &QToolButton::clicked, this, [this] { model_.openProjectFolder(task_); });
    header_->addItem(openProject);

    auto* scheduleButton = new QToolButton(this);
    scheduleButton->setObjectName(QStringLiteral("scheduleButton"));
    scheduleButton->setText(QStringLiteral("安排状态"));
    scheduleButton->setIcon(SymbolIcons::icon("clock"));
    scheduleButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    scheduleButton->setAutoRaise(true);
    scheduleButton->setPopupMode(QToolButton::InstantPopup);
    scheduleButton->setToolTip(QStringLiteral("暂缓提醒或切换等待状态"));
    scheduleMenu_->setObjectName(QStringLiteral("scheduleMenu"));
    scheduleMenu_->addAction(QStringLiteral("15 分钟"), this,
                             [this] { schedule(TaskStatus::snoozed, 900); });
    scheduleMenu_->addAction(QStringLiteral("1 小时"), this,
                             [this] { schedule(TaskStatus::snoozed, 3600); });
    scheduleMenu_->addAction(QStringLiteral("明天"), this,
                             [this] { schedule(TaskStatus::snoozed, 86400); });
    scheduleMenu_->addSeparator();
    scheduleMenu_->addAction(QStringLiteral("等待外部结果"), this,
                             [this] { schedule(TaskStatus::waitingExternal, std::nullopt); });
    scheduleMenu_->addAction(QStringLiteral("移回待处理"), this,
                             [this] { schedule(TaskStatus::pending, std::nullopt); });
    scheduleButton->setMenu(scheduleMenu_);
    header_->addItem(scheduleButton);
    layout->addWidget(header_);

    scroll_->setObjectName(QStringLiteral("detailScrollArea"));
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(scroll_, 1);

    connect(resumeFeedback_, &CopyFeedback::changed, this,
            [this](bool copied) { showResumeFeedback(copied); });

    // The saved note of this task goes into the editor once, when the pane
    // is shown for the task.
    if (loadedNoteTaskKey_ != task_.taskKey) {
        noteDraft_ = model_.note(task_.taskKey);
        loadedNoteTaskKey_ = task_.taskKey;
    }
    build();
}

void TaskDetailView::setTask(const TaskRecord& task) {
    if (task.taskKey != task_.taskKey || task == task_) return;
    const bool rebuild = !sameContent(task, task_);
    task_ = task;
    if (rebuild) {
        const int scrolled = scroll_->verticalScrollBar()->value();
        build();
        scroll_->verticalScrollBar()->setValue(scrolled);
    } else {
        updateDynamicParts();
    }
}

bool TaskDetailView::didCopyResumeMessage() const {
    return resumeFeedback_->isActive();
}

void TaskDetailView::build() {
    setWindowTitle(TextLabels::text(task_.item.title));
    header_->setTitle(TextLabels::text(task_.item.title));
    codexLink_.reset();
    if (task_.source.agent == AgentKind::codex) {
        codexLink_ = SourceLinkResolver().resolve(task_.source);
    }
    stepCards_.clear();

    auto* page = new QWidget();
    page->setObjectName(QStringLiteral("detailPage"));
    auto* centering = new QHBoxLayout(page);
    centering->setContentsMargins(0, 0, 0, 0);
    centering->addStretch(0);
    sheet_ = new QWidget(page);
    sheet_->setObjectName(QStringLiteral("detailSheet"));
    sheet_->setMaximumWidth(maximumSheetWidth);
    centering->addWidget(sheet_, 1);
    centering->addStretch(0);

    auto* column = new QVBoxLayout(sheet_);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(20);
    column->addWidget(buildHeader());
    column->addWidget(buildReasonCard());
    if (!task_.item.prerequisites.empty()) column->addWidget(buildPrerequisitesCard());

    column->addWidget(new SectionHeader(
        QStringLiteral("逐步操作"), QStringLiteral("按顺序完成，不需要返回 Agent 窗口找上下文"),
        QStringLiteral("每一步都有动作、成功信号和失败处理。"), sheet_));
    std::vector<ActionStep> steps = task_.item.steps;
    std::stable_sort(steps.begin(), steps.end(),
                     [](const ActionStep& a, const ActionStep& b) { return a.order < b.order; });
    for (const ActionStep& step : steps) {
        auto* card = new StepCard(step, task_.isStepComplete(step.id),
                                  CommandRiskPolicy().assess(step, task_.project), sheet_);
        connect(card, &StepCard::toggle, this, [this, id = step.id](bool completed) {
            model_.setStep(task_.taskKey, id, completed);
        });
        connect(card, &StepCard::copy, this,
                [this](const QString& text) { model_.copyText(text); });
        connect(card, &StepCard::openTerminal, this, [this, card] {
            const auto& directory = card->step().workingDirectory;
            model_.openTerminal(directory ? TextLabels::text(*directory) : QString());
        });
        stepCards_.push_back(card);
        column->addWidget(card);
    }

    column->addWidget(buildVerificationCard());
    column->addWidget(buildResumeCard());
    column->addStretch(1);

    // Replacing the page deletes the old one with every widget on it.
    scroll_->setWidget(page);
    updateDynamicParts();
}

QWidget* TaskDetailView::buildHeader() {
    auto* header = new QWidget(sheet_);
    auto* layout = new QVBoxLayout(header);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);

    auto* pills = new QHBoxLayout();
    pills->setSpacing(6);
    statusPill_ = new StatusPill(QString(), "", QColor(), header);
    statusPill_->setObjectName(QStringLiteral("statusPill"));
    pills->addWidget(statusPill_);
    auto* priority = new StatusPill(
        TextLabels::text(displayName(task_.item.priority)), "flag.fill",
        AppAppearance::color(AppAppearance::priorityTint(task_.item.priority)), header);
    priority->setObjectName(QStringLiteral("priorityPill"));
    pills->addWidget(priority);
    auto* category =
        new StatusPill(TextLabels::text(displayName(task_.item.category)),
                       systemImage(task_.item.category), AppAppearance::color(Tint::blue), header);
    category->setObjectName(QStringLiteral("categoryPill"));
    pills->addWidget(category);
    pills->addStretch(1);
    layout->addLayout(pills);

    auto* title =
        TextLabels::selectable(TextLabels::text(task_.item.title), Style::largeTitle, header);
    title->setObjectName(QStringLiteral("detailTitle"));
    layout->addWidget(title);
    auto* outcome =
        TextLabels::selectable(TextLabels::text(task_.item.expectedOutcome), Style::title, header);
    outcome->setObjectName(QStringLiteral("expectedOutcome"));
    layout->addWidget(outcome);

    auto* labels = new QHBoxLayout();
    labels->setSpacing(16);
    const QColor secondary = AppAppearance::color(Tint::secondary);
    const auto addLabel = [&](std::string_view symbol, const QString& text) {
        auto* label = new SymbolLabel(symbol, text, Style::body, header);
        label->setTextColor(secondary);
        labels->addWidget(label);
        return label;
    };
    addLabel("folder", TextLabels::text(task_.project.name));
    addLabel("cpu", TextLabels::text(displayName(task_.source.agent)));
    addLabel("timer", QStringLiteral("约 ") + QString::number(task_.item.estimatedMinutes) +
                          QStringLiteral(" 分钟"));
    stepProgress_ = addLabel("checklist", QString());
    stepProgress_->setObjectName(QStringLiteral("stepProgress"));
    labels->addStretch(1);
    layout->addLayout(labels);
    return header;
}

QWidget* TaskDetailView::buildReasonCard() {
    auto* card = new DetailCard(QStringLiteral("为什么现在需要你"),
                                "person.crop.circle.badge.exclamationmark", sheet_);
    card->setObjectName(QStringLiteral("reasonCard"));
    QVBoxLayout* content = card->contentLayout();
    content->addWidget(
        TextLabels::selectable(TextLabels::text(task_.item.reason), Style::body, card));
    content->addWidget(divider(card));

    auto* facts = new QGridLayout();
    facts->setHorizontalSpacing(16);
    facts->setVerticalSpacing(6);
    facts->setColumnStretch(1, 1);
    const std::pair<QString, QString> rows[] = {
        {QStringLiteral("原 Agent 状态"), TextLabels::text(displayName(task_.receiptState))},
        {QStringLiteral("原任务"), TextLabels::text(task_.source.taskTitle)},
        {QStringLiteral("项目路径"), TextLabels::text(task_.project.path)},
        {QStringLiteral("回执版本"), TextLabels::text(task_.receiptID) + QStringLiteral(" · v") +
                                         QString::number(task_.receiptVersion)},
    };
    int row = 0;
    for (const auto& [name, value] : rows) {
        auto* label = new QLabel(name, card);
        TextLabels::setTint(label, Tint::secondary);
        facts->addWidget(label, row, 0, Qt::AlignTop);
        auto* text = TextLabels::selectable(value, Style::body, card);
        text->setAccessibleName(name);
        facts->addWidget(text, row, 1);
        ++row;
    }
    content->addLayout(facts);
    return card;
}

QWidget* TaskDetailView::buildPrerequisitesCard() {
    auto* card = new DetailCard(QStringLiteral("开始前先确认"), "list.bullet.clipboard", sheet_);
    card->setObjectName(QStringLiteral("prerequisitesCard"));
    int number = 1;
    for (const std::string& prerequisite : task_.item.prerequisites) {
        auto* row = new QHBoxLayout();
        row->setSpacing(10);
        auto* badge = new QLabel(QString::number(number), card);
        badge->setFixedSize(20, 20);
        badge->setAlignment(Qt::AlignCenter);
        badge->setFont(AppAppearance::font(Style::captionEmphasized));
        badge->setStyleSheet(QStringLiteral("QLabel { background: %1; color: white;"
                                            " border-radius: 10px; }")
                                 .arg(AppAppearance::accent().name()));
        row->addWidget(badge, 0, Qt::AlignTop);
        row->addWidget(TextLabels::selectable(TextLabels::text(prerequisite), Style::body, card),
                       1);
        card->contentLayout()->addLayout(row);
        ++number;
    }
    return card;
}

QWidget* TaskDetailView::buildVerificationCard() {
    auto* card = new DetailCard(QStringLiteral("最终核验"), "checkmark.seal", sheet_);
    card->setObjectName(QStringLiteral("verificationCard"));
    QVBoxLayout* content = card->contentLayout();
    content->addWidget(TextLabels::selectable(TextLabels::text(task_.item.verification.instruction),
                                              Style::headline, card));
    auto* evidence = new SymbolLabel("checkmark.circle.fill",
                                     TextLabels::text(task_.item.verification.successEvidence),
                                     Style::body, card);
    evidence->setSymbolColor(AppAppearance::color(Tint::green));
    evidence->setWordWrap(true);
    evidence->setSelectable(true);
    content->addWidget(evidence);
    // Present and not empty: a risk of only spaces is still shown.
    if (task_.item.risk && !task_.item.risk->empty()) {
        auto* risk =
            new Callout(QStringLiteral("风险"), TextLabels::text(*task_.item.risk),
                        "exclamationmark.triangle.fill", AppAppearance::color(Tint::orange), card);
        risk->setObjectName(QStringLiteral("riskCallout"));
        content->addWidget(risk);
    }
    if (task_.item.rollback && !task_.item.rollback->empty()) {
        auto* rollback =
            new Callout(QStringLiteral("回退办法"), TextLabels::text(*task_.item.rollback),
                        "arrow.uturn.backward.circle.fill", AppAppearance::color(Tint::blue), card);
        rollback->setObjectName(QStringLiteral("rollbackCallout"));
        content->addWidget(rollback);
    }
    return card;
}

QWidget* TaskDetailView::buildResumeCard() {
    auto* card = new DetailCard(QStringLiteral("把结果送回原任务"),
                                "arrowshape.turn.up.right.circle", sheet_);
    card->setObjectName(QStringLiteral("resumeCard"));
    QVBoxLayout* content = card->contentLayout();

    auto* hint = TextLabels::selectable(
        QStringLiteral("可选：写下你观察到的结果或错误。这段文字会与步骤状态一起生成"
                       "恢复消息；应用不会替你发送。"),
        Style::body, card);
    TextLabels::setTint(hint, Tint::secondary);
    content->addWidget(hint);

    noteEditor_ = new QPlainTextEdit(card);
    noteEditor_->setObjectName(QStringLiteral("noteEditor"));
    noteEditor_->setAccessibleName(QStringLiteral("本人操作结果和错误备注"));
    noteEditor_->setMinimumHeight(90);
    noteEditor_->setMaximumHeight(140);
    noteEditor_->setTabChangesFocus(true);
    noteEditor_->setStyleSheet(
        QStringLiteral("QPlainTextEdit { background: %1; border: 1px solid %2; border-radius: 8px;"
                       " padding: 4px; }"
                       "QPlainTextEdit:focus { border: 1px solid %3; }")
            .arg(palette().color(QPalette::Base).name(),
                 AppAppearance::color(Tint::separator).name(), AppAppearance::accent().name()));
    noteEditor_->setPlainText(noteDraft_);
    connect(noteEditor_, &QPlainTextEdit::textChanged, this, [this] {
        noteDraft_ = noteEditor_->toPlainText();
        model_.setNote(task_.taskKey, noteDraft_);
    });
    content->addWidget(noteEditor_);

    auto* resultHint =
        TextLabels::selectable(toQString(AgentResultTool::humanHint), Style::caption, card);
    resultHint->setObjectName(QStringLiteral("resultToolHint"));
    TextLabels::setTint(resultHint, Tint::secondary);
    content->addWidget(resultHint);

    const bool returnsToCodex = codexLink_ && codexLink_->url;
    if (returnsToCodex) {
        auto* caption = new SymbolLabel("hand.raised",
                                        QStringLiteral("只会复制并切换任务；请核对窗口后按 ") +
                                            PlatformTexts::pasteShortcut() +
                                            QStringLiteral("，再检查内容并按 Return。"),
                                        Style::caption, card);
        caption->setObjectName(QStringLiteral("codexReturnCaption"));
        caption->setTextColor(AppAppearance::color(Tint::secondary));
        caption->setWordWrap(true);
        content->addWidget(caption);
    } else if (codexLink_ && codexLink_->reason) {
        auto* callout =
            new Callout(QStringLiteral("需要手动返回 Codex"), TextLabels::text(*codexLink_->reason),
                        "exclamationmark.arrow.triangle.2.circlepath",
                        AppAppearance::color(Tint::orange), card);
        callout->setObjectName(QStringLiteral("manualCodexCallout"));
        content->addWidget(callout);
    }

    buttonRow_ = new QWidget(card);
    auto* buttons = new QHBoxLayout(buttonRow_);
    buttons->setContentsMargins(0, 4, 0, 0);
    buttons->setSpacing(8);
    copyButton_ = new QPushButton(buttonRow_);
    copyButton_->setObjectName(QStringLiteral("copyResumeButton"));
    AppAppearance::styleButton(copyButton_, returnsToCodex ? AppAppearance::ButtonStyle::bordered
                                                           : AppAppearance::ButtonStyle::prominent);
    connect(copyButton_, &QPushButton::clicked, this, [this] {
        model_.copyResumeMessage(task_);
        resumeFeedback_->start();
    });
    buttons->addWidget(copyButton_);

    returnButton_ = nullptr;
    if (returnsToCodex) {
        returnButton_ = new QPushButton(SymbolIcons::icon("arrow.up.forward.app", Qt::white),
                                        QStringLiteral("复制并返回 Codex"), buttonRow_);
        returnButton_->setObjectName(QStringLiteral("returnToCodexButton"));
        AppAppearance::styleButton(returnButton_, AppAppearance::ButtonStyle::prominent);
        connect(returnButton_, &QPushButton::clicked, this,
                [this] { model_.copyAndReturnToCodex(task_); });
        buttons->addWidget(returnButton_);
    }
    if (task_.source.agent == AgentKind::codex) {
        auto* openCodex = new QPushButton(QStringLiteral("打开 Codex"), buttonRow_);
        openCodex->setObjectName(QStringLiteral("openCodexButton"));
        AppAppearance::styleButton(openCodex, AppAppearance::ButtonStyle::bordered);
        connect(openCodex, &QPushButton::clicked, this, [this] { model_.openCodexOrExplain(); });
        buttons->addWidget(openCodex);
    }
    terminalButton_ = nullptr;
    if (const auto command = SessionResumeCommand::forTask(task_)) {
        // Offered once the message is on the clipboard, ready to paste there.
        terminalButton_ = new QPushButton(SymbolIcons::icon("terminal"),
                                          QStringLiteral("在终端继续原会话"), buttonRow_);
        terminalButton_->setObjectName(QStringLiteral("continueInTerminalButton"));
        terminalButton_->setToolTip(toQString(command->shellLine()));
        AppAppearance::styleButton(terminalButton_, AppAppearance::ButtonStyle::bordered);
        connect(terminalButton_, &QPushButton::clicked, this,
                [this] { model_.continueInTerminal(task_); });
        buttons->addWidget(terminalButton_);
    }
    buttons->addStretch(1);
    closureButton_ = nullptr;
    closureShownFor_.reset();
    content->addWidget(buttonRow_);
    showResumeFeedback(resumeFeedback_->isActive());
    return card;
}

void TaskDetailView::buildClosureButton() {
    delete closureButton_;
    closureButton_ = nullptr;
    const TaskStatus status = task_.status;
    if (status == TaskStatus::completed || status == TaskStatus::cancelled) return;
    const bool ready = status == TaskStatus::readyToResume;
    closureButton_ = new QPushButton(
        SymbolIcons::icon(ready ? "checkmark.circle.fill" : "xmark.circle.fill", Qt::white),
        QStringLiteral("关闭事项"), buttonRow_);
    closureButton_->setObjectName(QStringLiteral("closeTaskButton"));
    AppAppearance::styleButton(closureButton_, AppAppearance::ButtonStyle::prominent,
                               ready ? Tint::green : Tint::red);
    if (ready) {
        closureButton_->setToolTip(QStringLiteral("确认恢复消息已经回传后，再关闭事项"));
        connect(closureButton_, &QPushButton::clicked, this,
                [this] { model_.setStatus(task_.taskKey, TaskStatus::completed, std::nullopt); });
    } else {
        closureButton_->setToolTip(QStringLiteral("直接取消并关闭；无需完成步骤或复制恢复消息"));
        closureButton_->setAccessibleDescription(
            QStringLiteral("会要求确认，然后把事项标记为已取消；已勾选步骤会保留"));
        connect(closureButton_, &QPushButton::clicked, this, [this] {
            isShowingCancelConfirmation_ = true;
            // After the click has finished: the dialog runs its own event loop.
            QMetaObject::invokeMethod(
                this, [this] { confirmCancel(); }, Qt::QueuedConnection);
        });
    }
    static_cast<QHBoxLayout*>(buttonRow_->layout())->addWidget(closureButton_);
}

void TaskDetailView::updateDynamicParts() {
    const TaskStatus status = task_.status;
    statusPill_->set(TextLabels::text(displayName(status)), systemImage(status),
                     AppAppearance::color(AppAppearance::statusTint(status)));
    stepProgress_->setText(stepProgressText(task_));
    for (StepCard* card : stepCards_) card->setCompleted(task_.isStepComplete(card->step().id));

    const bool done = allStepsDone(task_);
    copyButton_->setEnabled(done);
    copyButton_->setToolTip(done ? QStringLiteral("复制后手动粘贴回原 Agent 任务")
                                 : QStringLiteral("先完成所有步骤"));
    if (returnButton_ != nullptr) {
        returnButton_->setEnabled(done);
        returnButton_->setToolTip(
            done ? QStringLiteral("复制恢复消息并打开原 Codex 任务；不会自动发送")
                 : QStringLiteral("先完成所有步骤"));
    }
    if (terminalButton_ != nullptr)
        terminalButton_->setVisible(status == TaskStatus::readyToResume);
    if (closureShownFor_ != status) {
        buildClosureButton();
        closureShownFor_ = status;
    }
}

void TaskDetailView::showResumeFeedback(bool copied) {
    const QString text = copied ? QStringLiteral("恢复消息已复制") : QStringLiteral("复制恢复消息");
    copyButton_->setText(text);
    copyButton_->setAccessibleName(text);
}

void TaskDetailView::confirmCancel() {
    if (!isShowingCancelConfirmation_) return;
    // A refresh during the dialog may replace this pane; the answer still
    // applies to the task it asked about.
    QPointer<TaskDetailView> self(this);
    AppModel& model = model_;
    const std::string taskKey = task_.taskKey;
    const bool confirmed = dialogs_.confirmDestructive(ConfirmationRequest{
        QStringLiteral("取消并关闭“") + TextLabels::text(task_.item.title) + QStringLiteral("”？"),
        QStringLiteral(
            "无需勾完步骤，也不会生成或复制恢复消息。已勾选的步骤会保留；之后可在“已取消”"
            "中把事项移回待处理。"),
        QStringLiteral("取消并关闭事项"), QStringLiteral("继续保留事项")});
    if (TaskDetailView* view = self.data()) view->isShowingCancelConfirmation_ = false;
    if (confirmed) model.setStatus(taskKey, TaskStatus::cancelled, std::nullopt);
}

void TaskDetailView::schedule(TaskStatus status, std::optional<int> seconds) {
    std::optional<Timestamp> until;
    if (seconds) until = currentTimestamp() + std::chrono::seconds(*seconds);
    model_.setStatus(task_.taskKey, status, until);
}

}  // namespace kestrin
