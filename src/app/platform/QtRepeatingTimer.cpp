#include "app/platform/QtRepeatingTimer.h"

namespace kestrin {

QtRepeatingTimer::QtRepeatingTimer() {
    timer_.setSingleShot(false);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
        if (onTick_) onTick_();
    });
}

void QtRepeatingTimer::start(std::chrono::milliseconds interval,
                             std::chrono::milliseconds tolerance, std::function<void()> onTick) {
    onTick_ = std::move(onTick);
    timer_.setTimerType(tolerance * 20 >= interval ? Qt::CoarseTimer : Qt::PreciseTimer);
    timer_.start(interval);
}

void QtRepeatingTimer::stop() {
    timer_.stop();
    onTick_ = nullptr;
}

bool QtRepeatingTimer::isRunning() const {
    return timer_.isActive();
}

}  // namespace kestrin
