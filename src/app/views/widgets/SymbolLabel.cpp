#include "app/views/widgets/SymbolLabel.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>

#include "app/views/widgets/SymbolIcons.h"

namespace kestrin {

SymbolLabel::SymbolLabel(std::string_view symbol, const QString& text,
                         AppAppearance::TextStyle style, QWidget* parent)
    : QWidget(parent),
      symbolLabel_(new QLabel(this)),
      textLabel_(new QLabel(text, this)),
      symbol_(symbol) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(5);
    textLabel_->setFont(AppAppearance::font(style));
    // Agents write these texts: never read them as markup.
    textLabel_->setTextFormat(Qt::PlainText);
    symbolLabel_->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    layout->addWidget(symbolLabel_, 0, Qt::AlignTop);
    textLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(textLabel_, 1);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    // The symbol is decoration: the text says it all to assistive technology.
    symbolLabel_->setAccessibleName(QString());
    updateSymbol();
}

void SymbolLabel::setTextColor(const QColor& color) {
    textColor_ = color;
    QPalette palette = textLabel_->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    textLabel_->setPalette(palette);
    updateSymbol();
}

void SymbolLabel::setSymbolColor(const QColor& color) {
    symbolColor_ = color;
    updateSymbol();
}

void SymbolLabel::setSymbol(std::string_view symbol) {
    symbol_ = symbol;
    updateSymbol();
}

void SymbolLabel::setText(const QString& text) {
    textLabel_->setText(text);
}

QString SymbolLabel::text() const {
    return textLabel_->text();
}

void SymbolLabel::setSelectable(bool selectable) {
    textLabel_->setTextInteractionFlags(selectable ? Qt::TextSelectableByMouse
                                                   : Qt::NoTextInteraction);
}

void SymbolLabel::setWordWrap(bool wrap) {
    textLabel_->setWordWrap(wrap);
}

void SymbolLabel::updateSymbol() {
    const QFontMetrics metrics(textLabel_->font());
    const int side = metrics.height();
    std::optional<QColor> color = symbolColor_ ? symbolColor_ : textColor_;
    symbolLabel_->setPixmap(SymbolIcons::icon(symbol_, color).pixmap(QSize(side, side)));
    symbolLabel_->setFixedSize(side, side);
}

}  // namespace kestrin
