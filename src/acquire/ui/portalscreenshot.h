#pragma once

#include "acquire/grabselection.h"

#include <QImage>

namespace quillon {

// Whether the screen has to be asked of the desktop portal: a Wayland session lets no
// program read the screen itself, and under XWayland the X root window shows only the
// X programs.
bool ScreenNeedsPortal();

struct TPortalScreenshot {
    TPortalOutcome outcome = TPortalOutcome::NoPortal;
    QImage image;  // the whole desktop in device pixels, when Taken
};

// The desktop through the portal's Screenshot call (org.freedesktop.portal.Screenshot),
// without the portal's own selection dialog where the portal allows that. The call
// itself gets callTimeoutMs, the answer (after the portal's own questions to the user)
// answerTimeoutMs; the program's events go on being handled meanwhile.
TPortalScreenshot TakePortalScreenshot(int callTimeoutMs = 10000, int answerTimeoutMs = 120000);

} // namespace quillon
