#include "app/views/EmptyStatePanel.h"

#include <QLabel>
#include <QVBoxLayout>

#include "app/views/widgets/AppAppearance.h"
#include "app/views/widgets/SymbolIcons.h"
#include "app/views/widgets/TextLabels.h"

namespace kestrin {

EmptyStatePanel::EmptyStatePanel(const QString& title, std::string_view icon,
                                 const QString& description, QWidget* parent)
    : QWidget(parent),
      title_(new QLabel(title, this)),
      description_(new QLabel(description, this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(10);
    layout->addStretch(1);

    const QColor secondary = AppAppearance::color(AppAppearance::Tint::secondary);
    auto* symbol = new QLabel(this);
    symbol->setPixmap(SymbolIcons::icon(icon, secondary).pixmap(QSize(44, 44)));
    symbol->setAlignment(Qt::AlignCenter);
    layout->addWidget(symbol);

    title_->setFont(AppAppearance::font(AppAppearance::TextStyle::title3));
    title_->setAlignment(Qt::AlignCenter);
    title_->setWordWrap(true);
    title_->setObjectName(QStringLiteral("emptyStateTitle"));
    layout->addWidget(title_);

    TextLabels::setColor(description_, secondary);
    description_->setAlignment(Qt::AlignCenter);
    description_->setWordWrap(true);
    description_->setObjectName(QStringLiteral("emptyStateDescription"));
    layout->addWidget(description_);
    layout->addStretch(1);

    setAccessibleName(title);
    setAccessibleDescription(description);
}

EmptyStatePanel* EmptyStatePanel::historyHelp(QWidget* parent) {
    auto* panel = new EmptyStatePanel(
        QStringLiteral("回执历史只用于追踪来源"), "clock.arrow.circlepath",
        QStringLiteral("Agent 没有要求人工操作时，也会在这里留下完成记录，但不会制造待办或通知。"),
        parent);
    panel->setObjectName(QStringLiteral("historyHelpView"));
    return panel;
}

EmptyStatePanel* EmptyStatePanel::emptyDetail(QWidget* parent) {
    auto* panel = new EmptyStatePanel(
        QStringLiteral("选择一个人工介入事项"), "rectangle.split.3x1",
        QStringLiteral("中间列表只呈现需要你关注的任务，不需要翻找 Agent 聊天记录。"), parent);
    panel->setObjectName(QStringLiteral("emptyDetailView"));
    return panel;
}

QString EmptyStatePanel::title() const {
    return title_->text();
}

QString EmptyStatePanel::description() const {
    return description_->text();
}

void EmptyStatePanel::setDescription(const QString& description) {
    description_->setText(description);
    setAccessibleDescription(description);
}

}  // namespace kestrin
