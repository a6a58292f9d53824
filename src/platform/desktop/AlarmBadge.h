#pragma once
// The tray icon's alarm variant: the normal icon with a red badge.
#include <QIcon>

namespace platform {

// Every size the icon has, each with a red dot over its lower right corner.
QIcon AlarmBadge(const QIcon& icon);

}  // namespace platform
