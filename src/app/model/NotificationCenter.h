#pragma once

#include <QString>

namespace kestrin {

// One desktop notification, delivered at once with the default sound.
struct DesktopNotification {
    QString identifier;
    QString title;
    QString body;

    bool operator==(const DesktopNotification&) const = default;
};

// The desktop's notification service. Requests are fire-and-forget: nothing
// reports back whether the user allowed or saw them.
class NotificationCenter {
  public:
    virtual ~NotificationCenter() = default;

    // Whether this process may use the service at all. A program that may not
    // (on macOS: one started outside an application bundle; elsewhere: no
    // notification service running) must not call the two operations below.
    virtual bool isAvailable() const = 0;
    // Asks the user to allow alerts and sounds.
    virtual void requestAuthorization() = 0;
    virtual void post(const DesktopNotification& notification) = 0;
};

}  // namespace kestrin
