#include "app/RowPainter.h"

#include <QPainter>
#include <QTextLayout>

#include "app/AppAppearance.h"
#include "app/SymbolIcons.h"

namespace kestrin {
namespace {

constexpr int symbolGap = 5;
constexpr int labelGap = 12;

}  // namespace

int RowPainter::drawLabel(QPainter* painter, int x, const QRect& line, std::string_view symbol,
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

void RowPainter::drawSeparator(QPainter* painter, const QRect& rect, int inset,
                               const QColor& color) {
    painter->fillRect(QRect(rect.left() + inset, rect.bottom(), rect.width() - 2 * inset, 1),
                      color);
}

void RowPainter::drawWrapped(QPainter* painter, const QRect& rect, const QString& text, int lines) {
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
