#include "app/views/dialogs/AlertBox.h"

#include <QEvent>
#include <QLabel>
#include <QLayout>

namespace kestrin {

bool AlertBox::event(QEvent* event) {
    // Past QMessageBox, whose handler would size the box again and undo the wrap.
    if (sized_ && event->type() == QEvent::LayoutRequest) return QDialog::event(event);
    return QMessageBox::event(event);
}

void AlertBox::showEvent(QShowEvent* event) {
    sized_ = false;
    QMessageBox::showEvent(event);
    auto* label = findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (label != nullptr) {
        label->setWordWrap(true);
        QSizePolicy policy(QSizePolicy::Minimum, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        label->setSizePolicy(policy);
        setFixedSize(width(), layout()->totalHeightForWidth(width()));
    }
    sized_ = true;
}

}  // namespace kestrin
