#pragma once

#include "common/error.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

// A failure of the HTTP client itself: no connection, a refused or lost connection, a
// proxy refusal, an aborted transfer, a refused URL scheme or a status outside 2xx.
// Workers tell it apart from failures of their own (a short answer, an unreadable file).
class THTTPError : public QuillonError {
public:
    explicit THTTPError(const std::string& text, long status = 0) : QuillonError(text), status_(status) {}
    long Status() const { return status_; }

private:
    long status_;
};

// The transfer was ended by Disconnect.
class TConnectionClosedError : public THTTPError {
public:
    TConnectionClosedError() : THTTPError("The connection was closed") {}
};

// A download whose body its sink refused to store, or that outgrew its limit. Neither is
// a failure of the network, so neither is a THTTPError.
class TBodyWriteError : public QuillonError {
public:
    using QuillonError::QuillonError;
};
class TBodyTooLargeError : public QuillonError {
public:
    using QuillonError::QuillonError;
};

// Where Download puts a body, piece by piece, so memory stays flat whatever its size.
// The callbacks run on the thread that called Download.
struct TDownloadSink {
    std::function<bool(const char* data, size_t size)> write;  // false: it could not be stored
    std::function<void(std::uint64_t expected)> workBegin;     // the announced length, 0 when none
    std::function<void(std::uint64_t received)> work;          // bytes stored so far
    std::uint64_t limit = 0;                                   // more than this fails the download
};

// The proxy settings of one connection; the default value is the reset state.
struct TProxySettings {
    std::string server;
    int port = 0;
    bool basicAuthentication = false;
    std::string userName;
    std::string password;
    bool operator==(const TProxySettings&) const = default;
};

struct TFormPart {
    std::string name;
    std::string content;
    std::optional<std::string> fileName;
    std::string contentType;  // empty: the part carries no content type
};

// A multipart/form-data body, kept as plain parts so it can grow between two posts.
class TFormData {
public:
    void AddField(const std::string& name, const std::string& value);
    // The file is read here, so an unreadable file fails before anything is sent.
    void AddFile(const std::string& name, const std::string& path, const std::string& contentType);
    const std::vector<TFormPart>& Parts() const { return parts_; }

private:
    std::vector<TFormPart> parts_;
};

// The service's answers are a few lines; reading stops past this size.
inline constexpr size_t kMaxAnswerBytes = 1024 * 1024;

// One HTTP client connection over a libcurl easy handle. The handle lives as long as the
// connection, so the cookies a server sets are sent back for the rest of the run.
// One request at a time; Disconnect is the only call allowed from another thread.
class THTTPConnection {
public:
    THTTPConnection();
    ~THTTPConnection();
    THTTPConnection(const THTTPConnection&) = delete;
    THTTPConnection& operator=(const THTTPConnection&) = delete;

    // Both return the answer body; any failure of the transfer raises THTTPError. An
    // answer longer than kMaxAnswerBytes raises QuillonError, the way workers treat an
    // answer they cannot read.
    std::string Get(const std::string& url);
    std::string Post(const std::string& url, const TFormData& form);
    // A GET whose body goes to sink instead of memory. Only a 2xx body reaches the sink.
    // Raises THTTPError like Get, TBodyWriteError when the sink refuses a piece, and
    // TBodyTooLargeError when the announced or received length passes the sink's limit.
    void Download(const std::string& url, const TDownloadSink& sink);

    // Ends the transfer in progress, if any, within a fraction of a second.
    void Disconnect();

    const TProxySettings& Proxy() const { return proxy_; }
    void SetProxy(const TProxySettings& proxy) { proxy_ = proxy; }

private:
    void Prepare(const std::string& url, bool post);
    void PrepareGet(const std::string& url, void* headers);
    // Runs the prepared request, writing the body through write; checkBody runs once the
    // transfer is over and before its result is looked at, so a body the writer refused
    // is reported as such rather than as the write error libcurl sees.
    void Perform(size_t (*write)(char*, size_t, size_t, void*), void* target, const std::function<void()>& checkBody);

    void* easy_ = nullptr;
    void* multi_ = nullptr;
    TProxySettings proxy_;
    std::atomic<bool> abort_{false};
};

// Percent-encodes the characters that may not stand in a URL as typed (spaces, controls,
// bytes outside ASCII and the unsafe punctuation); an existing %XX stays as it is.
std::string EncodeUrl(const std::string& url);
// Percent-encodes all but letters, digits and - . _ ~, so a value such as a password
// holding & # % + = or a space stays one value of a query.
std::string EncodeQueryValue(const std::string& value);

} // namespace quillon
