#include "app/appfiles.h"

#include "app/appstate.h"
#include "app/windowlayout.h"
#include "common/atomicfile.h"
#include "logodir/logodirfile.h"
#include "options/messages.h"

namespace quillon {

void RemoveStaleApplicationTemporaries(const std::string& appDir)
{
    RemoveStaleTemporaryFiles(appDir, {kAppStateFile, kOptionsFile, kLogoDirectoryFile, kWindowLayoutFile});
}

} // namespace quillon
