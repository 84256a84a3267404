#pragma once

// The application core's own texts, in one place.
namespace quillon {

inline constexpr const char* kMainCaption = "Quillon";
inline constexpr const char* kStartingCaption = "Quillon Starting";
inline constexpr const char* kAppVersion = "1.1.2";

inline constexpr const char* kMsgInitError = "Unexpected error occurred during application initialization.";
inline constexpr const char* kMsgPhoneListDamaged = "Phone list file is damaged.";
inline constexpr const char* kMsgParametersCorrupt = "Parameters file is corrupt.";
inline constexpr const char* kMsgAppStateCorrupt = "Application state file is corrupt.";
inline constexpr const char* kMsgAppStateSaveError = "Unable to save current application state";

} // namespace quillon
