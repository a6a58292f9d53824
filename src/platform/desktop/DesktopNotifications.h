#pragma once
// Desktop notifications: a short message the desktop shows for a while.
#include <QString>

namespace platform {

class DesktopNotifications {
public:
    virtual ~DesktopNotifications() = default;
    // Handed to the desktop's notification server and forgotten: never waits
    // for it, and does nothing when there is none.
    virtual void Notify(const QString& summary, const QString& body) = 0;
};

}  // namespace platform
