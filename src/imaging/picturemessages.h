#pragma once

namespace quillon {

inline constexpr const char* kMsgImageTooSmall = "Image dimensions must be at least 16x16.";
inline constexpr const char* kMsgErrorLoadingImage =
    "Error loading image. Check if you have enough disk space and write permissions.";
inline constexpr const char* kMsgImageTooLarge =
    "The picture is too large to open: it has more than 250 million pixels.";


// The format captions of the "Convert to" menus and the format choice, by format index.
inline constexpr const char* kFormatCaptions[4] = {"BMP (Windows Bitmap)", "JPG (JPEG JFIF Format)",
                                                   "GIF (Graphics Interchange Format)",
                                                   "PNG (Portable Network Graphics)"};
inline constexpr const char* kCaptionFormatChoice = "Graphic file format choice";
inline constexpr const char* kLabelFormatChoice = "Please choose graphic file format:";

// The picture file transforms.
inline constexpr const char* kMsgKeepAfterConvert = "Do you want to keep source file after image conversion?";
inline constexpr const char* kMsgKeepAfterMirror = "Do you want to keep source file after mirrorring image?";
inline constexpr const char* kMsgKeepAfterRotate = "Do you want to keep source file after rotating image?";
inline constexpr const char* kTitleTargetFileName = "Target File Name";
inline constexpr const char* kPromptTargetFileName = "Please enter target file name: ";
inline constexpr const char* kMsgTargetNameExists =
    "Node with the specified name already exists. Please enter another name.";
inline constexpr const char* kMsgCouldNotDeleteSource =
    "Could not delete logo source file. Check if you have permissions to write to folder where the application is "
    "installed.";

// Saving the logo.
inline constexpr const char* kMsgNoPictureInSelection =
    "There is no part of source picture in the selection area. Please select some part of picture and try again";
inline constexpr const char* kMsgSaveError =
    "Error occurred while trying to save image. Check if you have enough space on you disk and write permission.";
// The save dialog's filter, in the "Label|patterns|..." form of the file dialog adapters.
inline constexpr const char* kSaveFilter =
    "All (*.jpg;*.jpeg;*.bmp;*.gif;*.png)|*.jpg;*.jpeg;*.bmp;*.gif;*.png|JPEG Image File (*.jpg)|*.jpg|"
    "JPEG Image File (*.jpeg)|*.jpeg|Bitmaps (*.bmp)|*.bmp|GIF Image File (*.gif)|*.gif|"
    "PNG Image File (*.png)|*.png";
inline constexpr const char* kSaveDefaultExtension = "jpg";
// The overwrite question is kMsgOverwritePrefix + full path + kMsgOverwriteSuffix.
inline constexpr const char* kMsgOverwritePrefix = "The file ";
inline constexpr const char* kMsgOverwriteSuffix = " already exists. Do You want to overwrite it?";

} // namespace quillon
