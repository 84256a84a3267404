#pragma once

namespace quillon {

inline constexpr const char* kMsgImageTooSmall = "Image dimensions must be at least 16x16.";
inline constexpr const char* kMsgErrorLoadingImage =
    "Error loading image. Check if you have enough disk space and write permissions.";
inline constexpr const char* kMsgImageTooLarge =
    "The picture is too large to open: it has more than 250 million pixels.";

} // namespace quillon
