#pragma once

#include "app/model/NotificationCenter.h"

namespace kestrin {

// Notifications through the macOS user notification centre. Available only
// when the program runs from an application bundle (a bundle path with the
// extension "app", compared case-insensitively): the centre refuses other
// processes, and touching it from outside a bundle aborts them.
class MacNotificationCenter final : public NotificationCenter {
  public:
    bool isAvailable() const override;
    void requestAuthorization() override;
    void post(const DesktopNotification& notification) override;
};

}  // namespace kestrin
