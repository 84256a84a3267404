#pragma once

// The texts about the shipped data files, in one place.
namespace quillon {

inline constexpr const char* kMsgInitError = "Unexpected error occurred during application initialization.";
inline constexpr const char* kMsgPhoneListDamaged = "Phone list file is damaged.";
inline constexpr const char* kMsgParametersCorrupt = "Parameters file is corrupt.";

} // namespace quillon
