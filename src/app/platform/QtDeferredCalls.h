#pragma once

#include <QObject>

#include "app/model/DeferredCalls.h"

namespace kestrin {

// Queued calls on the thread that owns this object (the main thread). The
// work runs once control is back in the event loop, and is dropped when this
// object is destroyed first.
class QtDeferredCalls final : public DeferredCalls {
  public:
    void post(std::function<void()> work) override;

  private:
    QObject context_;
};

}  // namespace kestrin
