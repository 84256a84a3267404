#pragma once

namespace quillon {

inline constexpr const char* kOptionsFile = "options.xml";
inline constexpr const char* kMsgOptionsCorrupt = "Options file is corrupt.";
inline constexpr const char* kMsgOptionsSaveError = "Error saving application options";

} // namespace quillon
