#pragma once

#include <QTimer>

#include "app/model/RepeatingTimer.h"

namespace kestrin {

// A QTimer. Qt offers no tolerance in milliseconds: a tolerance of at least 5 %
// of the interval selects a coarse timer (Qt's coarse timers fire within 5 %).
class QtRepeatingTimer final : public RepeatingTimer {
  public:
    QtRepeatingTimer();

    void start(std::chrono::milliseconds interval, std::chrono::milliseconds tolerance,
               std::function<void()> onTick) override;
    void stop() override;
    bool isRunning() const override;

  private:
    QTimer timer_;
    std::function<void()> onTick_;
};

}  // namespace kestrin
