#pragma once

#include "app/model/NotificationCenter.h"

namespace kestrin {

// Notifications through the freedesktop notification service
// (org.freedesktop.Notifications on the session bus). Available only when the
// service is registered on the bus; without a bus or a service the program
// simply posts nothing. There is nothing to authorise.
class FreedesktopNotificationCenter final : public NotificationCenter {
  public:
    bool isAvailable() const override;
    void requestAuthorization() override {}
    void post(const DesktopNotification& notification) override;
};

}  // namespace kestrin
