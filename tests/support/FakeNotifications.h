#pragma once
#include <QStringList>

#include "platform/desktop/DesktopNotifications.h"

// Records every notification as "summary | body".
class FakeNotifications : public platform::DesktopNotifications {
public:
    void Notify(const QString& summary, const QString& body) override {
        shown << summary + " | " + body;
    }
    QStringList shown;
};
