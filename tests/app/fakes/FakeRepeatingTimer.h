#pragma once

#include "app/model/RepeatingTimer.h"

namespace kestrin {

// A timer that ticks only when the test calls fire().
class FakeRepeatingTimer final : public RepeatingTimer {
  public:
    void start(std::chrono::milliseconds newInterval, std::chrono::milliseconds newTolerance,
               std::function<void()> tick) override {
        interval = newInterval;
        tolerance = newTolerance;
        onTick = std::move(tick);
        ++startCount;
    }
    void stop() override { onTick = nullptr; }
    bool isRunning() const override { return static_cast<bool>(onTick); }

    void fire() {
        if (onTick) onTick();
    }

    std::chrono::milliseconds interval{0};
    std::chrono::milliseconds tolerance{0};
    std::function<void()> onTick;
    int startCount = 0;
};

}  // namespace kestrin
