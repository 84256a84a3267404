#pragma once

#include "service/httpconnection.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace quillon {

// A download larger than this is refused: far above any picture the program can use
// (the biggest JPEG or PNG of the 250-million-pixel limit is smaller), small enough that
// a hostile server cannot fill the disk.
inline constexpr std::uint64_t kMaxPictureDownloadBytes = 100ull * 1024 * 1024;

// The URL's extension: from the last of ".", "\" and ":" to the end when that character is
// a "." ("/" does not end the search), else empty. As written, not upper-cased.
std::string PictureURLExtension(const std::string& url);
// ".JPG", ".JPEG", ".BMP", ".PNG" and ".GIF", without regard to case.
bool IsAcceptedPictureExtension(const std::string& extension);
// True for http:// and https:// URLs (scheme in any case).
bool IsWebURL(const std::string& url);
// The temporary file's name: the URL's text after its last "/" (the whole URL without one),
// percent-decoded. None when that name could leave the folder or is not a file name
// ("", ".", "..", a "/" or NUL after decoding).
std::optional<std::string> TempNameFromURL(const std::string& url);

enum class TDownloadResult : std::uint8_t { Downloaded = 0, Failed = 1, Cancelled = 2 };

// The body of the picture download worker: a GET of PictureURL into TempFileName through
// the dialog's connection. It shows nothing; the completion reads ResultCode and ErrorText.
class TPictureDownloadThread {
public:
    TPictureDownloadThread(THTTPConnection& connection, std::string pictureURL, std::string tempFileName);

    void Execute();
    // Any thread: ends the transfer within a fraction of a second, silently.
    void Cancel();

    // Called on the worker's thread: the announced length (0 when none), then the bytes so far.
    std::function<void(std::uint64_t)> WorkBegin;
    std::function<void(std::uint64_t)> Work;
    std::uint64_t Limit = kMaxPictureDownloadBytes;

    const std::string PictureURL;
    const std::string TempFileName;
    std::atomic<bool> CancelRequested{false};
    TDownloadResult ResultCode = TDownloadResult::Downloaded;
    std::string ErrorText;

private:
    THTTPConnection& connection_;
};

} // namespace quillon
