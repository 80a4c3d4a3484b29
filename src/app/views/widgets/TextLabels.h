#pragma once

#include <QColor>
#include <QString>
#include <string_view>

#include "app/views/widgets/AppAppearance.h"

class QLabel;
class QWidget;

namespace kestrin {

// The text pieces the views are made of. Texts written by agents are always
// shown as plain text, never read as markup.
class TextLabels {
  public:
    TextLabels() = delete;

    // UTF-8 text from the core as a QString.
    static QString text(std::string_view utf8);

    // A plain-text label in `style`; `wrapping` lets it take several lines.
    static QLabel* label(const QString& text, AppAppearance::TextStyle style, QWidget* parent,
                         bool wrapping = false);
    // A wrapping plain-text label the user can select and copy from.
    static QLabel* selectable(const QString& text, AppAppearance::TextStyle style, QWidget* parent);

    // Colours the text of `widget` (a label, or a widget with labels in it).
    static void setColor(QWidget* widget, const QColor& color);
    static void setTint(QWidget* widget, AppAppearance::Tint tint);
};

}  // namespace kestrin
