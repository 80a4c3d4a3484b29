#pragma once

#include <QColor>
#include <QRect>
#include <QString>
#include <string_view>

class QPainter;

namespace kestrin {

// Drawing helpers shared by the list rows (task rows, history rows), which are
// painted rather than built from widgets so that long lists stay fast.
class RowPainter {
  public:
    RowPainter() = delete;

    // Draws `symbol` and `text` in `color` with the painter's font, from `x` on
    // the line `line`, the text elided to fit `maxWidth` (symbol included).
    // Returns where the next label may start.
    static int drawLabel(QPainter* painter, int x, const QRect& line, std::string_view symbol,
                         const QString& text, const QColor& color, int maxWidth);

    // Draws a crisp one-pixel line in `color` along the bottom of `rect`,
    // `inset` short of either end.
    static void drawSeparator(QPainter* painter, const QRect& rect, int inset, const QColor& color);

    // Draws `text` with the painter's font and pen in at most `lines` lines
    // from the top of `rect`, the last line elided. Line breaks count as spaces.
    static void drawWrapped(QPainter* painter, const QRect& rect, const QString& text, int lines);
};

}  // namespace kestrin
