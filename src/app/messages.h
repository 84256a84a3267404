#pragma once

// The application core's own texts, in one place.
namespace quillon {

inline constexpr const char* kMainCaption = "Quillon";
inline constexpr const char* kStartingCaption = "Quillon Starting";
inline constexpr const char* kAppVersion = "1.1.2";

inline constexpr const char* kMsgAppStateCorrupt = "Application state file is corrupt.";
inline constexpr const char* kMsgAppStateSaveError = "Unable to save current application state";

} // namespace quillon
