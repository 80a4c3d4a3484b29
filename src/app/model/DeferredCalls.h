#pragma once

#include <functional>

namespace kestrin {

// Runs work on the main thread after the event loop has turned once, so that
// whatever the caller is in the middle of (a view updating its own state)
// completes first. Pending work is dropped with the object that scheduled it.
class DeferredCalls {
  public:
    virtual ~DeferredCalls() = default;

    virtual void post(std::function<void()> work) = 0;
};

}  // namespace kestrin
