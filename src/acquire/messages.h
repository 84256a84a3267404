#pragma once

// The picture download's own texts, in one place.
namespace quillon {

inline constexpr const char* kMsgUnsupportedPictureType = "Unsupported picture file type : ";
inline constexpr const char* kMsgTempFolderError = "Could not write temporary picture file.";
inline constexpr const char* kMsgTempFileWriteError = "Error writing to temporary picture file";
inline constexpr const char* kMsgDownloadError =
    "Error downloading picture. Please check proxy settings in menu Edit->Options and try again.";
inline constexpr const char* kMsgDownloadTooLarge =
    "The picture was not downloaded: it is larger than 100 MB, more than any picture the program can use.";
inline constexpr const char* kMsgOnlyWebAddresses =
    "Only pictures on the web (addresses starting with http:// or https://) can be downloaded.";

} // namespace quillon
