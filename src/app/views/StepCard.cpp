#include "app/views/StepCard.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/views/widgets/AppAppearance.h"
#include "app/views/widgets/Callout.h"
#include "app/views/widgets/CodePanel.h"
#include "app/views/widgets/CopyFeedback.h"
#include "app/views/widgets/SymbolIcons.h"
#include "app/views/widgets/TextLabels.h"
#include "app/views/widgets/ViewPainter.h"
#include "core/support/TextTrimming.h"

namespace kestrin {
namespace {

// "成功信号" / "如果失败": a coloured symbol, the bold label, then the text.
QWidget* signalRow(std::string_view symbol, const QString& label, const QString& text,
                   AppAppearance::Tint tint, QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    const int side = QFontMetrics(AppAppearance::font(AppAppearance::TextStyle::headline)).height();
    auto* icon = new QLabel(row);
    icon->setPixmap(SymbolIcons::icon(symbol, AppAppearance::color(tint)).pixmap(side, side));
    icon->setFixedSize(side, side);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addWidget(TextLabels::label(label, AppAppearance::TextStyle::headline, row), 0,
                      Qt::AlignTop);
    layout->addWidget(TextLabels::selectable(text, AppAppearance::TextStyle::body, row), 1);
    row->setAccessibleName(label + QStringLiteral("：") + text);
    return row;
}

}  // namespace

const QString StepCard::defaultPasswordGuidance =
    QStringLiteral("输入时字符不会显示；不要把密码粘贴到任务卡或 Agent。需要取消时按 Control-C。");

StepCard::StepCard(const ActionStep& step, bool isCompleted, const std::vector<CommandRisk>& risks,
                   QWidget* parent)
    : QFrame(parent),
      step_(step),
      isCompleted_(isCompleted),
      toggle_(new QToolButton(this)),
      commandFeedback_(new CopyFeedback(this)) {
    setObjectName(QStringLiteral("stepCard"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(14, 14, 16, 14);
    layout->setSpacing(12);

    toggle_->setObjectName(QStringLiteral("stepToggle"));
    toggle_->setAutoRaise(true);
    toggle_->setIconSize(QSize(24, 24));
    toggle_->setFocusPolicy(Qt::StrongFocus);
    layout->addWidget(toggle_, 0, Qt::AlignTop);
    connect(toggle_, &QToolButton::clicked, this, [this] { emit toggle(!isCompleted_); });

    auto* column = new QVBoxLayout();
    column->setSpacing(8);
    layout->addLayout(column, 1);

    const QString order = QString::number(step.order);
    QLabel* caption = TextLabels::label(QStringLiteral("第 ") + order + QStringLiteral(" 步 · ") +
                                            TextLabels::text(displayName(step.kind)),
                                        AppAppearance::TextStyle::captionEmphasized, this);
    caption->setObjectName(QStringLiteral("stepCaption"));
    TextLabels::setTint(caption, AppAppearance::Tint::orange);
    column->addWidget(caption);

    QLabel* title = TextLabels::selectable(TextLabels::text(step.title),
                                           AppAppearance::TextStyle::title3, this);
    title->setObjectName(QStringLiteral("stepTitle"));
    column->addWidget(title);

    QLabel* instruction = TextLabels::selectable(TextLabels::text(step.instruction),
                                                 AppAppearance::TextStyle::body, this);
    TextLabels::setTint(instruction, AppAppearance::Tint::secondary);
    column->addWidget(instruction);

    if (step.workingDirectory && !step.workingDirectory->empty()) {
        auto* directory = new CodePanel(QStringLiteral("工作目录"),
                                        TextLabels::text(*step.workingDirectory), this);
        directory->setObjectName(QStringLiteral("workingDirectoryPanel"));
        connect(directory, &CodePanel::copy, this, &StepCard::copy);
        column->addWidget(directory);
    }

    if (step.command && !step.command->empty()) {
        auto* command = new CodePanel(QStringLiteral("要粘贴的完整命令"),
                                      TextLabels::text(*step.command), this);
        command->setObjectName(QStringLiteral("commandPanel"));
        connect(command, &CodePanel::copy, this, &StepCard::copy);
        column->addWidget(command);

        // Right where the user reaches for the copy button.
        if (!risks.empty()) {
            QStringList lines;
            for (const CommandRisk risk : risks) {
                lines << QStringLiteral("· ") + TextLabels::text(displayName(risk));
            }
            auto* warning = new Callout(QStringLiteral("运行前再看一眼"),
                                        lines.join(QLatin1Char('\n')), "exclamationmark.triangle.fill",
                                        AppAppearance::color(AppAppearance::Tint::red), this);
            warning->setObjectName(QStringLiteral("commandRiskCallout"));
            column->addWidget(warning);
        }

        auto* buttons = new QHBoxLayout();
        copyCommand_ = new QPushButton(this);
        copyCommand_->setObjectName(QStringLiteral("copyCommandButton"));
        AppAppearance::styleButton(copyCommand_, AppAppearance::ButtonStyle::prominent);
        buttons->addWidget(copyCommand_);
        openTerminal_ =
            new QPushButton(SymbolIcons::icon("terminal"), QStringLiteral("打开终端"), this);
        openTerminal_->setObjectName(QStringLiteral("openTerminalButton"));
        AppAppearance::styleButton(openTerminal_, AppAppearance::ButtonStyle::bordered);
        buttons->addWidget(openTerminal_);
        buttons->addStretch(1);
        column->addLayout(buttons);
        connect(copyCommand_, &QPushButton::clicked, this, [this] {
            emit copy(TextLabels::text(*step_.command));
            commandFeedback_->start();
        });
        connect(openTerminal_, &QPushButton::clicked, this, &StepCard::openTerminal);
        connect(commandFeedback_, &CopyFeedback::changed, this,
                [this](bool copied) { showCommandFeedback(copied); });
        showCommandFeedback(false);
    }

    if (step.requiresPassword) {
        // A prompt of only white space would leave the user without guidance.
        const bool hasPrompt = step.passwordPrompt && !isBlank(*step.passwordPrompt);
        auto* password = new Callout(
            QStringLiteral("密码只在系统提示中输入"),
            hasPrompt ? TextLabels::text(*step.passwordPrompt) : defaultPasswordGuidance,
            "lock.shield.fill", AppAppearance::accent(), this);
        password->setObjectName(QStringLiteral("passwordCallout"));
        column->addWidget(password);
    }

    column->addWidget(signalRow("checkmark.circle.fill", QStringLiteral("成功信号"),
                                TextLabels::text(step.successSignal), AppAppearance::Tint::green,
                                this));
    column->addWidget(signalRow("xmark.octagon.fill", QStringLiteral("如果失败"),
                                TextLabels::text(step.failureAction), AppAppearance::Tint::red,
                                this));
    showState();
}

bool StepCard::didCopyCommand() const {
    return commandFeedback_->isActive();
}

void StepCard::setCompleted(bool completed) {
    if (isCompleted_ == completed) return;
    isCompleted_ = completed;
    showState();
}

void StepCard::showState() {
    const QString order = QString::number(step_.order);
    toggle_->setIcon(
        isCompleted_
            ? SymbolIcons::icon("checkmark.circle.fill",
                                AppAppearance::color(AppAppearance::Tint::green))
            : SymbolIcons::icon("circle", AppAppearance::color(AppAppearance::Tint::secondary)));
    toggle_->setToolTip(isCompleted_ ? QStringLiteral("标记为未完成")
                                     : QStringLiteral("完成这一步"));
    toggle_->setAccessibleName(
        QStringLiteral("第 ") + order + QStringLiteral(" 步，") +
        (isCompleted_ ? QStringLiteral("已完成") : QStringLiteral("未完成")));
    update();
}

void StepCard::showCommandFeedback(bool copied) {
    copyCommand_->setText(copied ? QStringLiteral("命令已复制") : QStringLiteral("复制命令"));
    copyCommand_->setIcon(SymbolIcons::icon(copied ? "checkmark" : "doc.on.doc", Qt::white));
}

void StepCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor border = AppAppearance::color(AppAppearance::Tint::separator);
    qreal width = 1;
    if (isCompleted_) {
        border = AppAppearance::color(AppAppearance::Tint::green);
        border.setAlphaF(0.45f);
        width = 1.5;
    }
    ViewPainter::drawCard(&painter, rect(), AppAppearance::cardColor(palette()), border, width);
}

}  // namespace kestrin
