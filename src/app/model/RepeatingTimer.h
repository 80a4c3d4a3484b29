#pragma once

#include <chrono>
#include <functional>

namespace kestrin {

// A timer on the main event loop that calls its handler again and again until
// stopped. The handler never runs after stop() or after destruction.
class RepeatingTimer {
  public:
    virtual ~RepeatingTimer() = default;

    // Starts (or restarts) the timer. `tolerance` is how late a tick may come
    // so the system can group wake-ups.
    virtual void start(std::chrono::milliseconds interval, std::chrono::milliseconds tolerance,
                       std::function<void()> onTick) = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
};

}  // namespace kestrin
