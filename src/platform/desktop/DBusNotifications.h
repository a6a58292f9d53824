#pragma once
// Desktop notifications through org.freedesktop.Notifications on the session
// bus. The call is sent without waiting for its answer, so a bus without a
// notification server (or no bus at all) costs nothing and stops nothing.
#include <QDBusConnection>

#include "platform/desktop/DesktopNotifications.h"

namespace platform {

class DBusNotifications : public DesktopNotifications {
public:
    // Defaults to the session bus.
    explicit DBusNotifications(QDBusConnection bus = QDBusConnection::sessionBus());

    void Notify(const QString& summary, const QString& body) override;

    // How long the bus keeps the unanswered call before it drops it.
    static constexpr int kTimeoutMs = 10000;

private:
    QDBusConnection bus_;
};

}  // namespace platform
