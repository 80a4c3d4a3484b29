#include "app/views/widgets/CodePanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/views/widgets/AppAppearance.h"
#include "app/views/widgets/CopyFeedback.h"
#include "app/views/widgets/SymbolIcons.h"
#include "app/views/widgets/TextLabels.h"
#include "app/views/widgets/ViewPainter.h"
#include "app/views/widgets/WrappingText.h"

namespace kestrin {

CodePanel::CodePanel(const QString& label, const QString& value, QWidget* parent)
    : QFrame(parent),
      label_(TextLabels::label(label, AppAppearance::TextStyle::captionEmphasized, this)),
      value_(new WrappingText(value, this)),
      copyButton_(new QToolButton(this)),
      feedback_(new CopyFeedback(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 6, 6, 8);
    layout->setSpacing(2);

    auto* header = new QHBoxLayout();
    TextLabels::setTint(label_, AppAppearance::Tint::secondary);
    header->addWidget(label_);
    header->addStretch(1);
    copyButton_->setAutoRaise(true);
    copyButton_->setObjectName(QStringLiteral("codePanelCopyButton"));
    header->addWidget(copyButton_);
    layout->addLayout(header);

    value_->setFont(AppAppearance::font(AppAppearance::TextStyle::monospaced));
    value_->setAccessibleName(label);
    layout->addWidget(value_);

    connect(copyButton_, &QToolButton::clicked, this, [this] {
        emit copy(value_->toPlainText());
        feedback_->start();
    });
    connect(feedback_, &CopyFeedback::changed, this, [this](bool copied) { showFeedback(copied); });
    showFeedback(false);
}

QString CodePanel::label() const {
    return label_->text();
}

QString CodePanel::value() const {
    return value_->toPlainText();
}

bool CodePanel::didCopyValue() const {
    return feedback_->isActive();
}

void CodePanel::showFeedback(bool copied) {
    const QString help = (copied ? QStringLiteral("已复制") : QStringLiteral("复制")) + label();
    copyButton_->setIcon(SymbolIcons::icon(
        copied ? "checkmark" : "doc.on.doc",
        copied ? std::optional<QColor>(AppAppearance::color(AppAppearance::Tint::green))
               : std::nullopt));
    copyButton_->setToolTip(help);
    copyButton_->setAccessibleName(help);
}

void CodePanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor fill =
        AppAppearance::isDark(palette()) ? QColor(0, 0, 0, 70) : QColor(0, 0, 0, 12);
    ViewPainter::drawCard(&painter, rect(), fill,
                          AppAppearance::color(AppAppearance::Tint::separator), 1, 7);
}

}  // namespace kestrin
