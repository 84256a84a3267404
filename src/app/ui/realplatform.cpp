#include "app/ui/realplatform.h"

#include "app/ui/platformadapters.h"

namespace quillon {

TRealPlatform::TRealPlatform(const QString& runtimeDir) : instances_(runtimeDir) {}

TAppEnvironment TRealPlatform::Environment(const std::string& appDir)
{
    TAppEnvironment env;
    env.appDir = appDir;
    env.prompts = &prompts_;
    env.instances = &instances_;
    env.settings = &settings_;
    env.systemProxy = EnvironmentProxyText;
    env.askOpenFile = [](const std::string& filter) { return AskOpenFile(nullptr, filter); };
    env.launchBrowser = LaunchBrowser;
    return env;
}

} // namespace quillon
