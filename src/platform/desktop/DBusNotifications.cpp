#include "DBusNotifications.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QStringList>
#include <QVariantMap>

namespace platform {

DBusNotifications::DBusNotifications(QDBusConnection bus) : bus_(std::move(bus)) {}

void DBusNotifications::Notify(const QString& summary, const QString& body) {
    if (!bus_.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.Notifications",
                                                       "/org/freedesktop/Notifications",
                                                       "org.freedesktop.Notifications", "Notify");
    // app name, id to replace (none), icon name, summary, body, actions,
    // hints, expiry (the server's default).
    call << QString("Vastrel") << 0u << QString("vastrel") << summary << body << QStringList()
         << QVariantMap{{"desktop-entry", QString("vastrel")}} << -1;
    // The reply, or the error of a bus without a server, is not waited for.
    bus_.asyncCall(call, kTimeoutMs);
}

}  // namespace platform
