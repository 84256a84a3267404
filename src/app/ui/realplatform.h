#pragma once

#include "acquire/settingsstore.h"
#include "acquire/ui/platformscanner.h"
#include "app/appfolders.h"
#include "app/ui/appenvironment.h"
#include "app/ui/instancechannel.h"
#include "common/ui/messageboxprompts.h"

#include <QString>

namespace quillon {

// Owns the real platform adapters and hands out the environment that uses them. The
// program and the tests build their environment here, so what the tests run is what
// ships; a test then swaps single adapters for scripted ones.
class TRealPlatform {
public:
    // runtimeDir: where the instance sockets live; empty means the user's runtime folder.
    explicit TRealPlatform(const QString& runtimeDir = QString());

    TAppEnvironment Environment(const TAppFolders& folders);
    // The user's files and the shipped ones in one folder, as in a build or per-user install.
    TAppEnvironment Environment(const std::string& appDir) { return Environment(TAppFolders{appDir, appDir}); }
    TSettingsStore& Settings() { return settings_; }
    TInstanceChannel& Instances() { return instances_; }

private:
    TMessageBoxPrompts prompts_;
    TInstanceChannel instances_;
    TSettingsFile settings_{TSettingsFile::DefaultPath()};
    TPlatformScanner scanner_{prompts_};
};

} // namespace quillon
