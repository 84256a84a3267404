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

enum class TDelivery {
    Sent,
    Refused,  // the relay will never take it (it named the mail or an address wrong)
    Failed,   // not now: the relay is out of reach or asked to try later, the disk is full
};

// Sends through an SMTP relay, or, without one, writes each mail as a file to the
// outbox folder, so a service without a relay still shows what it would have sent.
class TMailer {
public:
    using TLog = std::function<void(const std::string&)>;
    TMailer(TMailSettings settings, TLog log);

    // The reason of a failure goes to the log.
    TDelivery Send(const TMail& mail) const;
    bool UsesOutbox() const { return settings_.smtpUrl.empty(); }

    // The whole message with its headers, CR LF line ends.
    std::string Compose(const TMail& mail) const;

private:
    TDelivery SendSmtp(const TMail& mail) const;
    TDelivery WriteToOutbox(const TMail& mail) const;

    TMailSettings settings_;
    TLog log_;
};

} // namespace quillon::server
