#include "app/views/widgets/Callout.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "app/views/widgets/AppAppearance.h"
#include "app/views/widgets/SymbolIcons.h"
#include "app/views/widgets/ViewPainter.h"

namespace kestrin {

Callout::Callout(const QString& title, const QString& text, std::string_view icon,
                 const QColor& color, QWidget* parent)
    : QFrame(parent),
      titleLabel_(new QLabel(title, this)),
      textLabel_(new QLabel(text, this)),
      color_(color) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->setSpacing(10);

    auto* symbol = new QLabel(this);
    const int side = QFontMetrics(AppAppearance::font(AppAppearance::TextStyle::headline)).height();
    symbol->setPixmap(SymbolIcons::icon(icon, color).pixmap(QSize(side, side)));
    symbol->setFixedSize(side, side);
    layout->addWidget(symbol, 0, Qt::AlignTop);

    auto* texts = new QVBoxLayout();
    texts->setSpacing(3);
    titleLabel_->setFont(AppAppearance::font(AppAppearance::TextStyle::headline));
    titleLabel_->setTextFormat(Qt::PlainText);
    textLabel_->setWordWrap(true);
    textLabel_->setTextFormat(Qt::PlainText);
    textLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    texts->addWidget(titleLabel_);
    texts->addWidget(textLabel_);
    layout->addLayout(texts, 1);

    setAccessibleName(title);
    setAccessibleDescription(text);
}

QString Callout::title() const {
    return titleLabel_->text();
}

QString Callout::text() const {
    return textLabel_->text();
}

void Callout::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = color_;
    fill.setAlphaF(0.10f);
    QColor border = color_;
    border.setAlphaF(0.30f);
    ViewPainter::drawCard(&painter, rect(), fill, border, 1, 8);
}

}  // namespace kestrin
