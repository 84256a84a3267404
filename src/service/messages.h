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

inline constexpr const char* kFakeFieldValue = "qqq";
inline constexpr const char* kLogoFileContentType = "image/unknown";
inline constexpr const char* kGuestLogin = "guest";

} // namespace quillon
