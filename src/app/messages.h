#pragma once

#include "common/version.h"

// The application core's own texts, in one place.
namespace quillon {

inline constexpr const char* kMainCaption = "Quillon";
inline constexpr const char* kStartingCaption = "Quillon Starting";

inline constexpr const char* kMsgAppStateCorrupt = "Application state file is corrupt.";
inline constexpr const char* kMsgAppStateSaveError = "Unable to save current application state";
inline constexpr const char* kMsgNoUserFolder =
    "Unable to find a folder for your files: neither XDG_DATA_HOME nor HOME names one.";

} // namespace quillon
