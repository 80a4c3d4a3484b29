#pragma once

#include <vector>

#include "app/model/DeferredCalls.h"

namespace kestrin {

// Holds deferred work until the test lets the event loop turn (runPending).
class FakeDeferredCalls final : public DeferredCalls {
  public:
    void post(std::function<void()> work) override { pending.push_back(std::move(work)); }

    // Runs what was pending when called; work posted meanwhile waits.
    void runPending() {
        auto batch = std::move(pending);
        pending.clear();
        for (auto& work : batch) work();
    }

    std::vector<std::function<void()>> pending;
};

}  // namespace kestrin
