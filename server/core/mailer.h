#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace quillon::server {

struct TMail {
    std::string to;
    std::string subject;  // UTF-8; encoded for the header when it is not ASCII
    std::string body;     // UTF-8 text
};

struct TMailSettings {
    std::string smtpUrl;  // smtp://host:port or smtps://...; empty: the outbox folder
    std::string smtpUser;
    std::string smtpPassword;
    std::string from;
    std::filesystem::path outboxDir;
};

// Sends through an SMTP relay, or, without one, writes each mail as a file to the
// outbox folder, so a service without a relay still shows what it would have sent.
class TMailer {
public:
    using TLog = std::function<void(const std::string&)>;
    TMailer(TMailSettings settings, TLog log);

    // False when the mail could not be handed over; the reason goes to the log.
    bool Send(const TMail& mail) const;
    bool UsesOutbox() const { return settings_.smtpUrl.empty(); }

    // The whole message with its headers, CR LF line ends.
    std::string Compose(const TMail& mail) const;

private:
    bool SendSmtp(const TMail& mail) const;
    bool WriteToOutbox(const TMail& mail) const;

    TMailSettings settings_;
    TLog log_;
};

} // namespace quillon::server
