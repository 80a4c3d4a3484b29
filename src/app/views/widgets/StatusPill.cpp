#include "app/views/widgets/StatusPill.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include "app/views/widgets/AppAppearance.h"
#include "app/views/widgets/SymbolIcons.h"

namespace kestrin {
namespace {

constexpr int horizontalPadding = 9;
constexpr int verticalPadding = 4;
constexpr int symbolGap = 5;

}  // namespace

StatusPill::StatusPill(const QString& title, std::string_view icon, const QColor& color,
                       QWidget* parent)
    : QWidget(parent) {
    setFont(AppAppearance::font(AppAppearance::TextStyle::captionEmphasized));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    set(title, icon, color);
}

void StatusPill::set(const QString& title, std::string_view icon, const QColor& color) {
    title_ = title;
    icon_ = icon;
    color_ = color;
    setAccessibleName(title);
    updateGeometry();
    update();
}

QSize StatusPill::sizeHint() const {
    const QFontMetrics metrics(font());
    const int symbol = metrics.height();
    return {horizontalPadding * 2 + symbol + symbolGap + metrics.horizontalAdvance(title_),
            verticalPadding * 2 + metrics.height()};
}

void StatusPill::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QColor fill = color_;
    fill.setAlphaF(0.16f);
    QPainterPath capsule;
    capsule.addRoundedRect(bounds, bounds.height() / 2, bounds.height() / 2);
    painter.fillPath(capsule, fill);

    const QFontMetrics metrics(font());
    const int symbol = metrics.height();
    const QRect symbolRect(horizontalPadding, (height() - symbol) / 2, symbol, symbol);
    SymbolIcons::icon(icon_, color_).paint(&painter, symbolRect.adjusted(1, 1, -1, -1));
    painter.setPen(color_);
    painter.drawText(QRect(symbolRect.right() + 1 + symbolGap, 0, width(), height()),
                     Qt::AlignVCenter | Qt::AlignLeft, title_);
}

}  // namespace kestrin
