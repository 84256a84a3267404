#include "common/ui/windowsystem.h"

#include <QGuiApplication>

namespace quillon {

bool NativeWayland() { return QGuiApplication::platformName().startsWith(QLatin1String("wayland")); }

} // namespace quillon
