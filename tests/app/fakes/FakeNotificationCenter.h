#pragma once

#include <QList>

#include "app/model/NotificationCenter.h"

namespace kestrin {

// Records authorisation requests and posts; `available` plays the role of the
// application bundle (macOS) or the notification service (Linux).
class FakeNotificationCenter final : public NotificationCenter {
  public:
    bool isAvailable() const override { return available; }
    void requestAuthorization() override { ++authorizationRequests; }
    void post(const DesktopNotification& notification) override { posted << notification; }

    bool available = true;
    int authorizationRequests = 0;
    QList<DesktopNotification> posted;
};

}  // namespace kestrin
