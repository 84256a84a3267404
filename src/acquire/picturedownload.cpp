#include "acquire/picturedownload.h"

#include "acquire/messages.h"
#include "common/text.h"

#include <fstream>

namespace quillon {

std::string PictureURLExtension(const std::string& url)
{
    const size_t last = url.find_last_of(".\\:");
    if (last == std::string::npos || url[last] != '.')
        return std::string();
    return url.substr(last);
}

bool IsAcceptedPictureExtension(const std::string& extension)
{
    const std::string e = AsciiUpper(extension);
    return e == ".JPG" || e == ".JPEG" || e == ".BMP" || e == ".PNG" || e == ".GIF";
}

bool IsWebURL(const std::string& url)
{
    const std::string head = AsciiUpper(url.substr(0, 8));
    return head.rfind("HTTP://", 0) == 0 || head.rfind("HTTPS://", 0) == 0;
}

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string PercentDecode(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

std::optional<std::string> TempNameFromURL(const std::string& url)
{
    const size_t slash = url.rfind('/');
    const std::string raw = slash == std::string::npos ? url : url.substr(slash + 1);
    // The server sees the encoded name; the file gets the one a user reads.
    const std::string name = PercentDecode(raw);
    if (name.empty() || name == "." || name == ".." || name.find_first_of(std::string("/\0", 2)) != std::string::npos)
        return std::nullopt;
    return name;
}

TPictureDownloadThread::TPictureDownloadThread(THTTPConnection& connection, std::string pictureURL,
                                               std::string tempFileName)
    : PictureURL(std::move(pictureURL)), TempFileName(std::move(tempFileName)), connection_(connection)
{
}

void TPictureDownloadThread::Cancel()
{
    CancelRequested = true;
    connection_.Disconnect();
}

void TPictureDownloadThread::Execute()
{
    ResultCode = TDownloadResult::Downloaded;
    ErrorText.clear();
    if (!IsWebURL(PictureURL)) {
        // Checked before the file is made: a file: or ftp: address is never fetched.
        ResultCode = TDownloadResult::Failed;
        ErrorText = kMsgOnlyWebAddresses;
        return;
    }
    std::ofstream file(TempFileName, std::ios::binary | std::ios::trunc);
    if (!file) {
        ResultCode = TDownloadResult::Failed;
        ErrorText = kMsgTempFileWriteError;
        return;
    }
    TDownloadSink sink;
    sink.write = [&file](const char* data, size_t size) {
        file.write(data, static_cast<std::streamsize>(size));
        return !file.fail();
    };
    sink.workBegin = WorkBegin;
    sink.work = Work;
    sink.limit = Limit;
    try {
        connection_.Download(PictureURL, sink);
        file.close();
        if (file.fail())
            throw TBodyWriteError("The temporary picture file could not be closed");
    } catch (const TBodyWriteError&) {
        ResultCode = TDownloadResult::Failed;
        ErrorText = kMsgTempFileWriteError;
    } catch (const TBodyTooLargeError&) {
        ResultCode = TDownloadResult::Failed;
        ErrorText = kMsgDownloadTooLarge;
    } catch (const TConnectionClosedError&) {
        ResultCode = CancelRequested ? TDownloadResult::Cancelled : TDownloadResult::Failed;
        ErrorText = CancelRequested ? std::string() : std::string(kMsgDownloadError);
    } catch (const std::exception&) {
        ResultCode = TDownloadResult::Failed;
        ErrorText = kMsgDownloadError;
    }
    if (file.is_open())
        file.close();
}

} // namespace quillon
