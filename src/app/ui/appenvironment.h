#pragma once

#include "common/prompts.h"
#include "options/options.h"

#include <functional>
#include <string>

namespace quillon {

class TInstanceChannel;

// What the program is given from outside: where its files live and the platform
// adapters it talks through. Tests hand in their own folder and scripted adapters.
struct TAppEnvironment {
    std::string appDir;                   // the application directory, with a trailing "/"
    TPrompts* prompts = nullptr;          // message boxes
    TInstanceChannel* instances = nullptr;  // finds the running copy by window title
    TSystemProxySource systemProxy = EnvironmentProxyText;
    // Asks for a picture file to open (filter in the "Label|patterns|..." form); empty: cancelled.
    std::function<std::string(const std::string& filter)> askOpenFile;
    // Starts the web browser on url without waiting; returns the error text, empty on success.
    std::function<std::string(const std::string& url)> launchBrowser;
};

} // namespace quillon
