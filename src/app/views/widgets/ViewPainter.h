#pragma once

#include <QColor>
#include <QRect>
#include <QString>
#include <QStyle>
#include <string_view>

class QPainter;

namespace kestrin {

// Drawing helpers shared by the painted views: the list rows (painted rather
// than built from widgets, so that long lists stay fast) and the cards.
class ViewPainter {
  public:
    ViewPainter() = delete;

    // Draws `symbol` and `text` in `color` with the painter's font, from `x` on
    // the line `line`, the text elided to fit `maxWidth` (symbol included).
    // Returns where the next label may start.
    static int drawLabel(QPainter* painter, int x, const QRect& line, std::string_view symbol,
                         const QString& text, const QColor& color, int maxWidth);

    // Draws the accent-tinted rounded box of a selected or hovered row, with
    // a ring when it has the focus; nothing for a plain row. Returns whether
    // it drew, so that a plain row can draw its separator instead.
    static bool drawHighlight(QPainter* painter, const QRectF& box, QStyle::State state,
                              qreal radius);

    // Draws a card: a rounded box filled with `fill` and outlined in `border`.
    static void drawCard(QPainter* painter, const QRectF& rect, const QColor& fill,
                         const QColor& border, qreal borderWidth = 1, qreal radius = 10);

    // Draws a crisp one-pixel line in `color` along the bottom of `rect`,
    // `inset` short of either end.
    static void drawSeparator(QPainter* painter, const QRect& rect, int inset, const QColor& color);

    // Draws `text` with the painter's font and pen in at most `lines` lines
    // from the top of `rect`, the last line elided. Line breaks count as spaces.
    static void drawWrapped(QPainter* painter, const QRect& rect, const QString& text, int lines);
};

}  // namespace kestrin
