#pragma once

// The logo directory's own texts, in one place.
namespace quillon {

inline constexpr const char* kMsgNotALogoNode = "Unable to get the full file name for non-logo tree node";
inline constexpr const char* kMsgLogoDirCorrupt = "The file of mobile logo directory is corrupt.";
inline constexpr const char* kMsgLogoDirLoadError = "Error loading mobile logo directory.";
inline constexpr const char* kMsgLogoDirSaveError = "Unable to save mobile directory";
// Added below the two messages above: where the unreadable file went.
inline constexpr const char* kMsgDamagedCopyKept = "The file was kept unchanged as";
inline constexpr const char* kMsgDamagedCopyFailed =
    "No copy of the file could be made beside it, so it is not replaced until one can be made.";


inline constexpr const char* kMsgAddFolderError =
    "Unable to add image to mobile directory.Check if there is enough free space on your hard drive and you have "
    "permissions to write to folder where the application is installed.";
inline constexpr const char* kMsgAddCopyError =
    "Unable to add image to mobile directory. Check if there is enough free space on your hard drive and you have "
    "permissions to write to folder where the application is installed.";
inline constexpr const char* kMsgNameExists = "Folder or logo with the name specified already exists. Please enter another name";
inline constexpr const char* kMsgNewFolderError =
    "Unable to create new folder in mobile directory. Check if there are no invalid characters in the folder name, "
    "there is enough free space on your hard drive and you have permissions to write to folder where the application "
    "is installed.";
inline constexpr const char* kMsgRenameLogoError =
    "Could not change the logo name. Check if there are no invalid characters in the logo name, there is enough free "
    "space on your hard drive and you have permissions to write to folder where the application is installed.";
inline constexpr const char* kMsgRenameFolderError =
    "Could not change the folder name. Check if there are no invalid characters in the folder name, there is enough "
    "free space on your hard drive and you have permissions to write to folder where the application is installed.";
inline constexpr const char* kMsgNotDuringUpload = "Function is not supported during image upload.";
inline constexpr const char* kMsgDeleteLogoError =
    "Could not delete selected logo. Check if you have permissions to write to folder where the application is "
    "installed.";
inline constexpr const char* kMsgDeleteFolderError =
    "Could not delete selected folder. Check if you have permissions to write to folder where the application is "
    "installed.";
inline constexpr const char* kMsgConfirmDeleteLogo = "Are you sure you want to delete selected logo?";
inline constexpr const char* kMsgConfirmDeleteFolder = "Are you sure you want to delete selected folder?";
inline constexpr const char* kMsgConfirmDeleteTree = "The selected folder is not empty! Are you sure you want to delete it?";
// A name that would leave its folder on disk is refused before anything is touched.
inline constexpr const char* kMsgBadName =
    "Please enter a name that is not empty, is not \".\" or \"..\", and does not contain the character \"/\".";

inline constexpr const char* kTitleNewFolder = "New folder name";
inline constexpr const char* kPromptNewFolder = "Enter new folder name:";
inline constexpr const char* kTitleRenameLogo = "New Logo name";
inline constexpr const char* kPromptRenameLogo = "Enter new logo name:";
inline constexpr const char* kTitleRenameFolder = "New Folder name";
inline constexpr const char* kPromptRenameFolder = "Enter new folder name:";

// The progress of a long folder delete, which the user may cancel.
inline constexpr const char* kTitleDeleting = "Delete";
inline constexpr const char* kMsgDeletingFolder = "Moving the folder's logos to the trash...";
inline constexpr const char* kCaptionCancel = "Cancel";

} // namespace quillon
