#include "app/views/widgets/CopyFeedback.h"

#include <QTimer>

namespace kestrin {

void CopyFeedback::start() {
    set(true);
    QTimer::singleShot(period, this, [this] { set(false); });
}

void CopyFeedback::set(bool active) {
    if (active_ == active) return;
    active_ = active;
    emit changed(active);
}

}  // namespace kestrin
