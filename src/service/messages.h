#pragma once

// The service subsystem's own texts, in one place.
namespace quillon {

inline constexpr const char* kUserAgent = "Mozilla/3.0 (compatible; Indy Library)";
inline constexpr const char* kAcceptHeader = "Accept: text/html, */*";
inline constexpr const char* kDefaultContentTypeHeader = "Content-Type: text/html";

// printf-style: the port text stands in for %s.
inline constexpr const char* kMsgNotAValidInteger = "'%s' is not a valid integer value";

inline constexpr const char* kKeywordSuccess = "SUCCESS";
inline constexpr const char* kKeywordMessage = "MESSAGE";
inline constexpr const char* kKeywordError = "ERROR";

inline constexpr const char* kWrongLoginOrPassword = "WRONG_LOGIN_OR_PASSWORD";
inline constexpr const char* kUserIsNotConfirmed = "USER_IS_NOT_CONFIRMED";
inline constexpr const char* kCouldNotSendMail = "COULD_NOT_SEND_MAIL";

// An answer whose first line is none of the keywords: the upload reports it as a
// service error rather than taking an unknown line as the picture's URL.
inline constexpr const char* kMsgUnrecognisedAnswer =
    "The server sent an answer that could not be understood. Please try again later.";

inline constexpr const char* kMsgSendLinkFailed = "Error occurred while sending application link.";
inline constexpr const char* kMsgWrongRecipientAddress =
    "Wrong format of recipient address. Please check it and try again.";
inline constexpr const char* kMsgSenderNameEmpty =
    "\"Your Name\" field cannot be empty. Please fill it in and try again.";

inline constexpr const char* kMsgNoPictureInFrame =
    "There is no part of source picture in the selection area. Please select some part of picture and try again";
inline constexpr const char* kMsgUploadFileError =
    "Error uploading logo. Check if your hard disk is not full and you have write permission.";
inline constexpr const char* kMsgLoginIncorrect =
    "Login or password incorrect! In order to enter login and password open menu \"Edit->Options\" and set "
    "parameters in \"System Authorization\" groupbox.";
inline constexpr const char* kMsgNotConfirmed =
    "Your account registration is not confirmed. In order to confirm it follow the link in EMail which was sent "
    "to you after registration.";
inline constexpr const char* kMsgConnectionFailed =
    "Connection to server failed. Please check your proxy settings in menu \"Edit->Options\" and try again.";
// The connection was made, but the service answered with a failing HTTP status: the proxy
// settings are not to blame. printf-style: "500 Internal Server Error" stands in for %s.
inline constexpr const char* kMsgServiceAnsweredError =
    "The service answered with an error (HTTP %s). Please try again later.";
inline constexpr const char* kStatusUploading = "Uploading image to server...";
inline constexpr const char* kStatusUploadBroken = "Upload broken by user.";
inline constexpr const char* kStatusDone = "Done.";

inline constexpr const char* kStatusSending = "Sending application link to friend...";
inline constexpr const char* kStatusSent = "Application link was successfully sent.";
inline constexpr const char* kStatusSendFailed = "Failed to send application link.";
inline constexpr const char* kMsgSendLoginIncorrect =
    "Unable to send application link because of incorrect login or password! In order to enter login and password "
    "open menu \"Edit->Options\" and set parameters in \"System Authorization\" groupbox.";
inline constexpr const char* kMsgSendNotConfirmed =
    "Unable to send application link because your account registration is not confirmed. In order to confirm it "
    "follow the link in EMail which was sent to you after registration.";
inline constexpr const char* kMsgCouldNotSendMail =
    "Unable to send application link. Please check recipient address and try again.";

inline constexpr const char* kFakeFieldValue = "qqq";
inline constexpr const char* kLogoFileContentType = "image/unknown";
inline constexpr const char* kGuestLogin = "guest";

} // namespace quillon
