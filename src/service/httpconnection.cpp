#include "service/httpconnection.h"

#include "common/text.h"
#include "service/messages.h"

#include <curl/curl.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>

namespace quillon {

namespace {

// libcurl's process-wide set-up is not thread-safe; run it once before the first handle.
void GlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

CURL* Easy(void* p) { return static_cast<CURL*>(p); }
CURLM* Multi(void* p) { return static_cast<CURLM*>(p); }

struct TBody {
    std::string text;
    bool tooLong = false;
};

// Returning less than was handed over makes libcurl end the transfer at once.
size_t AppendBody(char* data, size_t size, size_t count, void* target)
{
    auto* body = static_cast<TBody*>(target);
    const size_t n = size * count;
    if (n > kMaxAnswerBytes - body->text.size()) {
        body->tooLong = true;
        return 0;
    }
    body->text.append(data, n);
    return n;
}

struct TDownload {
    CURL* easy;
    const TDownloadSink* sink;
    bool started = false;
    bool badStatus = false;
    bool tooLarge = false;
    bool writeFailed = false;
    std::uint64_t received = 0;
};

bool IsSuccessStatus(long status) { return status >= 200 && status <= 299; }

size_t WriteDownload(char* data, size_t size, size_t count, void* target)
{
    auto* d = static_cast<TDownload*>(target);
    const size_t n = size * count;
    if (!d->started) {
        d->started = true;
        long status = 0;
        curl_easy_getinfo(d->easy, CURLINFO_RESPONSE_CODE, &status);
        // An error page is not the picture: it never reaches the file.
        if (!IsSuccessStatus(status)) {
            d->badStatus = true;
            return 0;
        }
        curl_off_t length = -1;
        curl_easy_getinfo(d->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        const std::uint64_t expected = length > 0 ? static_cast<std::uint64_t>(length) : 0;
        if (d->sink->workBegin)
            d->sink->workBegin(expected);
        if (expected > d->sink->limit) {
            d->tooLarge = true;
            return 0;
        }
    }
    if (n > d->sink->limit - d->received) {
        d->tooLarge = true;
        return 0;
    }
    if (!d->sink->write(data, n)) {
        d->writeFailed = true;
        return 0;
    }
    d->received += n;
    if (d->sink->work)
        d->sink->work(d->received);
    return n;
}

// Not a failure of the network: the service sent something no answer of it looks like.
void CheckAnswerLength(const TBody& body)
{
    if (body.tooLong)
        throw QuillonError("The server's answer is longer than " + std::to_string(kMaxAnswerBytes / 1024) + " KB");
}

struct TSlistFree {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using TSlist = std::unique_ptr<curl_slist, TSlistFree>;

// The header list and the form belong to one request: the handle must not keep
// pointers to them once it is over, whatever way it ended.
struct TDetach {
    CURL* easy;
    ~TDetach()
    {
        curl_easy_setopt(easy, CURLOPT_MIMEPOST, nullptr);
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, nullptr);
    }
};

// How often a stalled transfer looks at the abort flag when no wake-up arrives.
constexpr int kPollMilliseconds = 100;

bool IsUnsafeUrlByte(unsigned char c)
{
    if (c <= 0x20 || c >= 0x7F)
        return true;
    switch (c) {
    case '"': case '<': case '>': case '\\': case '^': case '`': case '{': case '|': case '}':
        return true;
    default:
        return false;
    }
}

} // namespace

std::string EncodeUrl(const std::string& url)
{
    return PercentEncode(url, [](unsigned char c) { return !IsUnsafeUrlByte(c); });
}

std::string EncodeQueryValue(const std::string& value)
{
    return PercentEncode(value, IsUnreservedUrlByte);
}

void TFormData::AddField(const std::string& name, const std::string& value)
{
    parts_.push_back({name, value, std::nullopt, ""});
}

void TFormData::AddFile(const std::string& name, const std::string& path, const std::string& contentType)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw QuillonError("Cannot open file " + path);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw QuillonError("Cannot read file " + path);
    parts_.push_back({name, std::move(bytes), path, contentType});
}

THTTPConnection::THTTPConnection()
{
    GlobalInit();
    easy_ = curl_easy_init();
    multi_ = curl_multi_init();
    if (!easy_ || !multi_) {
        curl_multi_cleanup(Multi(multi_));
        curl_easy_cleanup(Easy(easy_));
        throw QuillonError("Cannot create an HTTP connection");
    }
    // An empty cookie file switches the cookie engine on without reading anything.
    curl_easy_setopt(Easy(easy_), CURLOPT_COOKIEFILE, "");
}

THTTPConnection::~THTTPConnection()
{
    curl_multi_cleanup(Multi(multi_));
    curl_easy_cleanup(Easy(easy_));
}

void THTTPConnection::Disconnect()
{
    abort_ = true;
    curl_multi_wakeup(Multi(multi_));
}

void THTTPConnection::Prepare(const std::string& url, bool post)
{
    CURL* e = Easy(easy_);
    curl_easy_setopt(e, CURLOPT_URL, EncodeUrl(url).c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_TIMEOUT, 0L);
    curl_easy_setopt(e, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, post ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
    // An HTTP/1.0 request is not persistent: a post goes out on a connection of its own
    // and closes it. Reusing one the server may already have closed can break the post
    // half-way or, worse, send it twice.
    curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, post ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_FORBID_REUSE, post ? 1L : 0L);

    // An empty proxy text also keeps libcurl from taking one from the environment, and an
    // empty no-proxy list keeps no_proxy from overriding the configured proxy.
    const TProxySettings& p = proxy_;
    curl_easy_setopt(e, CURLOPT_PROXY, p.server.c_str());
    curl_easy_setopt(e, CURLOPT_NOPROXY, "");
    curl_easy_setopt(e, CURLOPT_PROXYPORT, static_cast<long>(p.port));
    curl_easy_setopt(e, CURLOPT_PROXYAUTH, static_cast<unsigned long>(CURLAUTH_BASIC));
    curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, p.basicAuthentication ? p.userName.c_str() : nullptr);
    curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, p.basicAuthentication ? p.password.c_str() : nullptr);
}

void THTTPConnection::PrepareGet(const std::string& url, void* headers)
{
    Prepare(url, false);
    CURL* e = Easy(easy_);
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(headers));
    curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
}

std::string THTTPConnection::Get(const std::string& url)
{
    TSlist headers(curl_slist_append(nullptr, kAcceptHeader));
    curl_slist_append(headers.get(), kDefaultContentTypeHeader);
    PrepareGet(url, headers.get());
    TDetach detach{Easy(easy_)};
    TBody body;
    Perform(AppendBody, &body, [&] { CheckAnswerLength(body); });
    return std::move(body.text);
}

void THTTPConnection::Download(const std::string& url, const TDownloadSink& sink)
{
    TSlist headers(curl_slist_append(nullptr, kAcceptHeader));
    curl_slist_append(headers.get(), kDefaultContentTypeHeader);
    PrepareGet(url, headers.get());
    TDetach detach{Easy(easy_)};
    TDownload download{Easy(easy_), &sink};
    Perform(WriteDownload, &download, [&] {
        if (download.writeFailed)
            throw TBodyWriteError("The downloaded data could not be stored");
        if (download.tooLarge)
            throw TBodyTooLargeError("The download is larger than " + std::to_string(sink.limit) + " bytes");
        // The status is looked at once the transfer is over, like every other request.
    });
}

std::string THTTPConnection::Post(const std::string& url, const TFormData& form)
{
    Prepare(url, true);
    CURL* e = Easy(easy_);
    // The form's own content type (with its boundary) replaces the default one.
    TSlist headers(curl_slist_append(nullptr, kAcceptHeader));
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
    std::unique_ptr<curl_mime, void (*)(curl_mime*)> mime(curl_mime_init(e), curl_mime_free);
    for (const TFormPart& fp : form.Parts()) {
        curl_mimepart* part = curl_mime_addpart(mime.get());
        curl_mime_name(part, fp.name.c_str());
        curl_mime_data(part, fp.content.data(), fp.content.size());
        if (fp.fileName)
            curl_mime_filename(part, fp.fileName->c_str());
        if (!fp.contentType.empty())
            curl_mime_type(part, fp.contentType.c_str());
    }
    curl_easy_setopt(e, CURLOPT_MIMEPOST, mime.get());
    TDetach detach{e};
    TBody body;
    Perform(AppendBody, &body, [&] { CheckAnswerLength(body); });
    return std::move(body.text);
}

void THTTPConnection::Perform(size_t (*write)(char*, size_t, size_t, void*), void* target,
                              const std::function<void()>& checkBody)
{
    CURL* e = Easy(easy_);
    CURLM* m = Multi(multi_);
    char errorText[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, write);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, target);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorText);

    if (proxy_.port < 0 || proxy_.port > 65535)
        throw THTTPError("Invalid proxy port " + std::to_string(proxy_.port));

    // A disconnect only ends the transfer it interrupts; one that came between two
    // requests does not stop the next.
    abort_ = false;
    curl_multi_add_handle(m, e);
    bool aborted = false;
    CURLcode result = CURLE_OK;
    for (;;) {
        int running = 0;
        CURLMcode mc = curl_multi_perform(m, &running);
        if (mc != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        if (running == 0) {
            int queued = 0;
            while (CURLMsg* msg = curl_multi_info_read(m, &queued))
                if (msg->msg == CURLMSG_DONE)
                    result = msg->data.result;
            break;
        }
        if (!abort_)
            curl_multi_poll(m, nullptr, 0, kPollMilliseconds, nullptr);
        if (abort_) {
            aborted = true;
            break;
        }
    }
    curl_multi_remove_handle(m, e);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, nullptr);

    if (aborted)
        throw TConnectionClosedError();
    checkBody();
    long status = 0;
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
    // A body refused for its status also ends the transfer with a write error.
    if (result != CURLE_OK && !(result == CURLE_WRITE_ERROR && status != 0 && !IsSuccessStatus(status)))
        throw THTTPError(errorText[0] ? errorText : curl_easy_strerror(result));
    if (!IsSuccessStatus(status))
        throw THTTPError("HTTP status " + std::to_string(status), status);
}

} // namespace quillon
