#pragma once

#include "app/model/AppPlatform.h"
#include "fakes/FakeConfirmationAlerts.h"
#include "fakes/FakeDeferredCalls.h"
#include "fakes/FakeFilePanels.h"
#include "fakes/FakeNotificationCenter.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakeRepeatingTimer.h"
#include "fakes/FakeWorkspace.h"

namespace kestrin {

// A platform made of fakes for a model under test. The fakes are owned by the
// model once take() handed them over; the pointers stay valid as long as it
// lives. The clock reads `now`.
class FakePlatform {
  public:
    explicit FakePlatform(std::map<std::string, std::string> environment) {
        platform_.environment = std::move(environment);
        platform_.pasteboard = own(pasteboard);
        platform_.workspace = own(workspace);
        platform_.notifications = own(notifications);
        platform_.filePanels = own(filePanels);
        platform_.alerts = own(alerts);
        platform_.timer = own(timer);
        platform_.deferredCalls = own(deferredCalls);
        platform_.clock = [this] { return now; };
    }

    AppPlatform take() { return std::move(platform_); }

    FakePasteboard* pasteboard = nullptr;
    FakeWorkspace* workspace = nullptr;
    FakeNotificationCenter* notifications = nullptr;
    FakeFilePanels* filePanels = nullptr;
    FakeConfirmationAlerts* alerts = nullptr;
    FakeRepeatingTimer* timer = nullptr;
    FakeDeferredCalls* deferredCalls = nullptr;
    Timestamp now = currentTimestamp();

  private:
    template <typename Fake>
    std::unique_ptr<Fake> own(Fake*& pointer) {
        auto fake = std::make_unique<Fake>();
        pointer = fake.get();
        return fake;
    }

    AppPlatform platform_;
};

}  // namespace kestrin
