#include "mailer.h"

#include "credentials.h"

#include <curl/curl.h>
#include <sodium.h>

#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace quillon::server {

namespace {

bool IsAscii(const std::string& s)
{
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

// A header value never carries a line break of its own.
std::string HeaderSafe(std::string s)
{
    for (char& c : s)
        if (c == '\r' || c == '\n')
            c = ' ';
    return s;
}

std::string EncodeHeaderWord(const std::string& s)
{
    if (IsAscii(s))
        return s;
    std::string out(sodium_base64_ENCODED_LEN(s.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(out.data(), out.size(), reinterpret_cast<const unsigned char*>(s.data()), s.size(),
                      sodium_base64_VARIANT_ORIGINAL);
    out.resize(std::strlen(out.c_str()));
    return "=?UTF-8?B?" + out + "?=";
}

std::string CrLfLines(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            out += "\r\n";
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    if (out.size() < 2 || out.compare(out.size() - 2, 2, "\r\n") != 0)
        out += "\r\n";
    return out;
}

std::string DateHeader()
{
    char buf[64];
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    std::strftime(buf, sizeof buf, "%a, %d %b %Y %H:%M:%S +0000", &tm);
    return buf;
}

struct TUpload {
    const std::string* data;
    size_t offset = 0;
};

size_t ReadPayload(char* buffer, size_t size, size_t count, void* user)
{
    auto* up = static_cast<TUpload*>(user);
    size_t n = std::min(size * count, up->data->size() - up->offset);
    std::memcpy(buffer, up->data->data() + up->offset, n);
    up->offset += n;
    return n;
}

} // namespace

TMailer::TMailer(TMailSettings settings, TLog log) : settings_(std::move(settings)), log_(std::move(log)) {}

std::string TMailer::Compose(const TMail& mail) const
{
    std::string m;
    m += "Date: " + DateHeader() + "\r\n";
    m += "From: " + HeaderSafe(settings_.from) + "\r\n";
    m += "To: " + HeaderSafe(mail.to) + "\r\n";
    m += "Subject: " + EncodeHeaderWord(HeaderSafe(mail.subject)) + "\r\n";
    m += "MIME-Version: 1.0\r\n";
    m += "Content-Type: text/plain; charset=UTF-8\r\n";
    m += "Content-Transfer-Encoding: 8bit\r\n";
    m += "\r\n";
    m += CrLfLines(mail.body);
    return m;
}

TDelivery TMailer::Send(const TMail& mail) const
{
    return UsesOutbox() ? WriteToOutbox(mail) : SendSmtp(mail);
}

TDelivery TMailer::SendSmtp(const TMail& mail) const
{
    std::string message = Compose(mail);
    CURL* curl = curl_easy_init();
    if (!curl)
        return TDelivery::Failed;
    TUpload upload{&message};
    std::string from = "<" + settings_.from + ">";
    std::string to = "<" + mail.to + ">";
    curl_slist* rcpt = curl_slist_append(nullptr, to.c_str());
    curl_easy_setopt(curl, CURLOPT_URL, settings_.smtpUrl.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.c_str());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, rcpt);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadPayload);
    curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 10L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 30L);
    if (!settings_.smtpUser.empty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, settings_.smtpUser.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, settings_.smtpPassword.c_str());
        curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    }
    CURLcode rc = curl_easy_perform(curl);
    long reply = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply);
    curl_slist_free_all(rcpt);
    curl_easy_cleanup(curl);
    if (rc == CURLE_OK)
        return TDelivery::Sent;
    // A 5xx reply is the relay's last word on this mail; anything else may pass later.
    const bool final = reply >= 500 && reply < 600;
    log_(std::string(final ? "mail relay refused a mail (" : "mail relay did not take a mail (") +
         (reply ? std::to_string(reply) + ", " : std::string()) + curl_easy_strerror(rc) + ")");
    return final ? TDelivery::Refused : TDelivery::Failed;
}

TDelivery TMailer::WriteToOutbox(const TMail& mail) const
{
    std::error_code ec;
    std::filesystem::create_directories(settings_.outboxDir, ec);
    std::string name = std::to_string(std::time(nullptr)) + "-" + NewToken() + ".eml";
    std::filesystem::path temp = settings_.outboxDir / ("." + name);
    std::filesystem::path final = settings_.outboxDir / name;
    std::string message = Compose(mail);
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    bool ok = fd >= 0;
    size_t done = 0;
    while (ok && done < message.size()) {
        ssize_t n = write(fd, message.data() + done, message.size() - done);
        ok = n > 0;
        if (ok)
            done += static_cast<size_t>(n);
    }
    if (fd >= 0)
        ok = close(fd) == 0 && ok;
    if (ok)
        ok = rename(temp.c_str(), final.c_str()) == 0;
    if (!ok) {
        const int error = errno;
        unlink(temp.c_str());
        log_("cannot write a mail to the outbox " + settings_.outboxDir.string() + ": " + std::strerror(error));
        return TDelivery::Failed;
    }
    log_("mail to " + HeaderSafe(mail.to) + " written to " + final.string());
    return TDelivery::Sent;
}

} // namespace quillon::server
