#include "app/views/widgets/TextLabels.h"

#include <QLabel>

namespace kestrin {

QString TextLabels::text(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

QLabel* TextLabels::label(const QString& text, AppAppearance::TextStyle style, QWidget* parent,
                          bool wrapping) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(AppAppearance::font(style));
    label->setWordWrap(wrapping);
    return label;
}

QLabel* TextLabels::selectable(const QString& text, AppAppearance::TextStyle style,
                               QWidget* parent) {
    QLabel* label = TextLabels::label(text, style, parent, true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

void TextLabels::setColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    widget->setPalette(palette);
}

void TextLabels::setTint(QWidget* widget, AppAppearance::Tint tint) {
    setColor(widget, AppAppearance::color(tint));
}

}  // namespace kestrin
