#include "app/views/widgets/ToggleSwitch.h"

#include <QPainter>
#include <QPainterPath>

#include "app/views/widgets/AppAppearance.h"

namespace kestrin {

ToggleSwitch::ToggleSwitch(QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void ToggleSwitch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(1, 1, -1, -1);
    const qreal radius = track.height() / 2;
    QColor fill = isChecked() ? AppAppearance::accent()
                              : AppAppearance::color(AppAppearance::Tint::separator, palette());
    if (!isEnabled()) fill.setAlphaF(0.5f);
    QPainterPath path;
    path.addRoundedRect(track, radius, radius);
    painter.fillPath(path, fill);
    if (hasFocus()) {
        painter.setPen(QPen(AppAppearance::accent().darker(130), 1.5));
        painter.drawPath(path);
    }
    const qreal knob = track.height() - 4;
    const qreal x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    painter.setPen(QPen(QColor(0, 0, 0, 40), 0.5));
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
}

}  // namespace kestrin
