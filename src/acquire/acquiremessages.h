#pragma once

// The texts of the import and screen grab commands, in one place.
namespace quillon {

inline constexpr const char* kImportedImageName = "importedimage";
inline constexpr const char* kTitleImportedImageName = "Imported image name";
inline constexpr const char* kPromptImportedImageName = "Please enter imported image name:";

inline constexpr const char* kGrabbedImageName = "grabbedimage";
inline constexpr const char* kTitleGrabbedImageName = "Grabbed image name";
inline constexpr const char* kPromptGrabbedImageName = "Please enter grabbed image name:";
inline constexpr const char* kMsgGrabWidthTooSmall = "Picture width must be 16 pixels or more";
inline constexpr const char* kMsgGrabHeightTooSmall = "Picture height must be 16 pixels or more";

} // namespace quillon
