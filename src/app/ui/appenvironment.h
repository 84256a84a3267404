#pragma once

#include "common/prompts.h"
#include "imaging/bitmap.h"
#include "options/options.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

class TInstanceChannel;
class TScanner;
class TSettingsStore;

// What the program is given from outside: where its files live and the platform
// adapters it talks through. The program gets the real adapters from TRealPlatform;
// a test starts from the same real set and replaces an adapter only on purpose.
struct TAppEnvironment {
    std::string appDir;                   // the application directory, with a trailing "/"
    std::string shippedDir;               // where phoneslist.xml, parameters.xml and the help are read
                                          // (appDir itself unless a system install), trailing "/"
    std::vector<std::string> openFiles;   // pictures named at the start, absolute: added like Open
    TPrompts* prompts = nullptr;          // message boxes and input boxes
    TInstanceChannel* instances = nullptr;  // finds the running copy by window title
    TSettingsStore* settings = nullptr;     // the machine-wide key of the browser hand-off
    TScanner* scanner = nullptr;            // the import commands' scanner interface
    TSystemProxySource systemProxy;
    // Asks for a picture file to open (filter in the "Label|patterns|..." form); empty: cancelled.
    std::function<std::string(const std::string& filter)> askOpenFile;
    // Asks where to save a picture: the dialog opens on fileName in folder (the
    // platform's default folder when empty); returns the full path, empty: cancelled.
    std::function<std::string(const std::string& fileName, const std::string& folder, const std::string& filter,
                              const std::string& defaultExtension)>
        askSaveFile;
    // The colour picker, preset to colour (0x00BBGGRR); true with the picked one in colour.
    std::function<bool(int& colour)> pickColor;
    // Starts the web browser on url without waiting; returns the error text, empty on success.
    std::function<std::string(const std::string& url)> launchBrowser;
    // The whole primary screen as it is now, in device pixels; nothing where the
    // platform lets no program read the screen.
    std::function<std::optional<TBitmap>()> grabScreen;
    // Takes away the picture file of a deleted logo (to the desktop's trash); true when gone.
    std::function<bool(const std::string& path)> removeFile;

    // The adapters that were never set. The main window refuses to start with any:
    // a command that silently does nothing is worse than a program that does not start.
    std::vector<std::string> MissingAdapters() const;
};

} // namespace quillon
