#include "app/ui/realplatform.h"

#include "app/ui/platformadapters.h"
#include "logodir/desktoptrash.h"

namespace quillon {

TRealPlatform::TRealPlatform(const QString& runtimeDir) : instances_(runtimeDir) {}

TAppEnvironment TRealPlatform::Environment(const TAppFolders& folders)
{
    TAppEnvironment env;
    const std::string& appDir = folders.userDir;
    env.appDir = appDir;
    env.shippedDir = folders.shippedDir;
    env.prompts = &prompts_;
    env.instances = &instances_;
    env.settings = &settings_;
    env.scanner = &scanner_;
    env.systemProxy = EnvironmentProxyText;
    env.askOpenFile = [](const std::string& filter) { return AskOpenFile(nullptr, filter); };
    env.askSaveFile = [](const std::string& fileName, const std::string& folder, const std::string& filter,
                         const std::string& defaultExtension) {
        return AskSaveFile(nullptr, fileName, folder, filter, defaultExtension);
    };
    env.pickColor = [](int& colour) { return PickColor(nullptr, colour); };
    env.launchBrowser = LaunchBrowser;
    env.grabScreen = GrabPrimaryScreen;
    // The logo directory never gets a trash of its own, even where it is a volume's top.
    env.removeFile = [appDir](const std::string& path) { return MoveFileToTrash(path, appDir); };
    return env;
}

} // namespace quillon
