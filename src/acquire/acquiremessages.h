#pragma once

// The texts of the import, screen grab and paste commands, in one place.
namespace quillon {

inline constexpr const char* kImportedImageName = "importedimage";
inline constexpr const char* kTitleImportedImageName = "Imported image name";
inline constexpr const char* kPromptImportedImageName = "Please enter imported image name:";

inline constexpr const char* kGrabbedImageName = "grabbedimage";
inline constexpr const char* kTitleGrabbedImageName = "Grabbed image name";
inline constexpr const char* kPromptGrabbedImageName = "Please enter grabbed image name:";
inline constexpr const char* kPastedImageName = "pastedimage";
inline constexpr const char* kTitlePastedImageName = "Pasted image name";
inline constexpr const char* kPromptPastedImageName = "Please enter pasted image name:";
inline constexpr const char* kMsgGrabWidthTooSmall = "Picture width must be 16 pixels or more";
inline constexpr const char* kMsgGrabHeightTooSmall = "Picture height must be 16 pixels or more";
// A native Wayland program may not read the screen: only the desktop portal hands it out.
inline constexpr const char* kMsgGrabNoPortal =
    "The screen cannot be grabbed: this Wayland desktop offers no screenshot portal "
    "(org.freedesktop.portal.Screenshot). Install xdg-desktop-portal with your desktop's portal "
    "(for example xdg-desktop-portal-gnome, -kde or -wlr), or grab from an X session.";
inline constexpr const char* kMsgGrabPortalFailed =
    "The screen cannot be grabbed: the desktop's screenshot portal did not hand over a picture of the "
    "screen. Try again, or check the portal (xdg-desktop-portal) of your desktop.";

} // namespace quillon
