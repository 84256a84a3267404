#pragma once

#include "acquire/settingsstore.h"

#include <cstdint>
#include <functional>
#include <string>

namespace quillon {

inline constexpr std::uint32_t kS_OK = 0;
inline constexpr std::uint32_t kE_FAIL = 0x80004005;
inline constexpr std::uint32_t kOLECMDF_ENABLED = 2;

// The browser plug-in object: it hands a picture URL to the running program, or starts
// the program, through the settings key and the running window. It keeps no state.
class TQuillonPI {
public:
    struct TPlatform {
        TSettingsStore* store = nullptr;
        // Finds the window titled "Quillon" and brings it to the front; false when none runs.
        std::function<bool()> activateRunning;
        // Sends the running window the notification 1025.
        std::function<void()> notifyRunning;
        // Starts the program in appPath with appPath as its working folder; false on failure.
        std::function<bool(const std::string& appPath)> startProgram;
    };
    explicit TQuillonPI(TPlatform platform) : platform_(std::move(platform)) {}

    std::uint32_t AddImageURL(const std::string& imageURL);
    std::uint32_t Exec();
    // The command is always enabled (and not marked as supported).
    std::uint32_t QueryStatus(std::uint32_t& firstCommandFlags);

private:
    std::uint32_t WakeOrStart(const std::string& appPath, bool notify);
    TPlatform platform_;
};

} // namespace quillon
