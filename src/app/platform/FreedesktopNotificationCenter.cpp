#include "app/platform/FreedesktopNotificationCenter.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QVariantMap>

namespace kestrin {
namespace {

QString serviceName() {
    return QStringLiteral("org.freedesktop.Notifications");
}

}  // namespace

bool FreedesktopNotificationCenter::isAvailable() const {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || bus.interface() == nullptr) return false;
    // The service may be D-Bus activatable without running yet.
    if (bus.interface()->isServiceRegistered(serviceName()).value()) return true;
    return bus.interface()->activatableServiceNames().value().contains(serviceName());
}

void FreedesktopNotificationCenter::post(const DesktopNotification& notification) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        serviceName(), QStringLiteral("/org/freedesktop/Notifications"), serviceName(),
        QStringLiteral("Notify"));
    // The request identifier has no counterpart here: every post is a new
    // notification, and the server plays its default sound unless hinted otherwise.
    call << QStringLiteral("Velmora")  // app_name
         << uint{0}                    // replaces_id: a new notification
         << QString()                  // app_icon
         << notification.title << notification.body << QStringList() << QVariantMap()
         << int{-1};  // expire_timeout: the server's default
    QDBusConnection::sessionBus().call(call, QDBus::NoBlock);
}

}  // namespace kestrin
