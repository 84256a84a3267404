#pragma once

// The logo directory's own texts, in one place.
namespace quillon {

inline constexpr const char* kMsgNotALogoNode = "Unable to get the full file name for non-logo tree node";
inline constexpr const char* kMsgLogoDirCorrupt = "The file of mobile logo directory is corrupt.";
inline constexpr const char* kMsgLogoDirLoadError = "Error loading mobile logo directory.";
inline constexpr const char* kMsgLogoDirSaveError = "Unable to save mobile directory";

} // namespace quillon
