#include "app/DetailCard.h"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "app/AppAppearance.h"
#include "app/SymbolLabel.h"

namespace kestrin {

DetailCard::DetailCard(const QString& title, std::string_view icon, QWidget* parent)
    : QFrame(parent),
      title_(title),
      content_(new QVBoxLayout()),
      border_(AppAppearance::color(AppAppearance::Tint::separator)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 16);
    layout->setSpacing(10);
    if (!title.isEmpty()) {
        auto* heading = new SymbolLabel(icon, title, AppAppearance::TextStyle::headline, this);
        heading->setSymbolColor(AppAppearance::accent());
        layout->addWidget(heading);
    }
    content_->setSpacing(10);
    layout->addLayout(content_);
    setAccessibleName(title);
}

void DetailCard::setBorderColor(const QColor& color) {
    border_ = color;
    update();
}

void DetailCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath card;
    card.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
    painter.fillPath(card, AppAppearance::cardColor(palette()));
    painter.setPen(QPen(border_, 1));
    painter.drawPath(card);
}

}  // namespace kestrin
