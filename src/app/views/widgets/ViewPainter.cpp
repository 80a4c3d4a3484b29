#include "app/views/widgets/ViewPainter.h"

#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

#include "app/views/widgets/AppAppearance.h"
#include "app/views/widgets/SymbolIcons.h"

namespace kestrin {
namespace {

constexpr int symbolGap = 5;
constexpr int labelGap = 12;

}  // namespace

int ViewPainter::drawLabel(QPainter* painter, int x, const QRect& line, std::string_view symbol,
                           const QString& text, const QColor& color, int maxWidth) {
    const QFontMetrics metrics = painter->fontMetrics();
    const int side = metrics.height() - 2;
    const QRect symbolRect(x, line.top() + (line.height() - side) / 2, side, side);
    SymbolIcons::icon(symbol, color).paint(painter, symbolRect);
    const int textX = symbolRect.right() + 1 + symbolGap;
    const QString elided =
        metrics.elidedText(text, Qt::ElideRight, qMax(0, maxWidth - side - symbolGap));
    painter->setPen(color);
    painter->drawText(QRect(textX, line.top(), qMax(0, line.right() - textX + 1), line.height()),
                      Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, elided);
    return textX + metrics.horizontalAdvance(elided) + labelGap;
}

bool ViewPainter::drawHighlight(QPainter* painter, const QRectF& box, QStyle::State state,
                                qreal radius) {
    const bool selected = state & QStyle::State_Selected;
    if (!selected && !(state & QStyle::State_MouseOver)) return false;
    // A tint rather than a solid fill keeps the colours of the row readable.
    QColor fill = AppAppearance::accent();
    fill.setAlphaF(selected ? (state & QStyle::State_Active ? 0.25f : 0.15f) : 0.07f);
    QPainterPath path;
    path.addRoundedRect(box, radius, radius);
    painter->fillPath(path, fill);
    if (selected && state & QStyle::State_HasFocus) {
        QColor ring = AppAppearance::accent();
        ring.setAlphaF(0.75f);
        painter->setPen(QPen(ring, 1.4));
        painter->drawRoundedRect(box.adjusted(0.7, 0.7, -0.7, -0.7), radius, radius);
    }
    return true;
}

void ViewPainter::drawCard(QPainter* painter, const QRectF& rect, const QColor& fill,
                           const QColor& border, qreal borderWidth, qreal radius) {
    QPainterPath card;
    const qreal inset = borderWidth / 2;
    card.addRoundedRect(rect.adjusted(inset, inset, -inset, -inset), radius, radius);
    painter->fillPath(card, fill);
    painter->setPen(QPen(border, borderWidth));
    painter->drawPath(card);
}

void ViewPainter::drawSeparator(QPainter* painter, const QRect& rect, int inset,
                                const QColor& color) {
    painter->fillRect(QRect(rect.left() + inset, rect.bottom(), rect.width() - 2 * inset, 1),
                      color);
}

void ViewPainter::drawWrapped(QPainter* painter, const QRect& rect, const QString& text,
                              int lines) {
    const QFontMetrics metrics = painter->fontMetrics();
    const int lineHeight = AppAppearance::lineHeight(painter->font());
    QString flat = text;
    flat.replace(QLatin1Char('\n'), QLatin1Char(' '));
    QTextLayout layout(flat, painter->font());
    layout.beginLayout();
    int y = rect.top();
    for (int n = 0; n < lines; ++n) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(rect.width());
        const bool last = n == lines - 1;
        const QString part =
            last ? metrics.elidedText(flat.mid(line.textStart()), Qt::ElideRight, rect.width())
                 : flat.mid(line.textStart(), line.textLength());
        painter->drawText(QRect(rect.left(), y, rect.width(), lineHeight),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, part);
        y += lineHeight;
    }
    layout.endLayout();
}

}  // namespace kestrin
