#pragma once

#include "checkqueue.h"
#include "config.h"
#include "mailer.h"
#include "store.h"
#include "throttle.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace quillon::server {

// The web service: the four requests of the desktop program, the picture and list pages
// a phone opens, and the product pages.
class TService {
public:
    using TLog = std::function<void(const std::string&)>;
    TService(TServiceConfig config, TLog log);
    ~TService();
    TService(const TService&) = delete;
    TService& operator=(const TService&) = delete;

    // Binds the listening socket; returns the port. The public URL is known from here on.
    int Bind();
    // Serves until Stop; call after Bind.
    void Run();
    // From any thread, also before Run has started serving.
    void Stop();

    const std::string& PublicUrl() const { return publicUrl_; }
    TStore& Store() { return store_; }

private:
    enum class TAuth { Ok, Wrong, Unconfirmed, Busy };
    struct TAuthResult {
        TAuth auth = TAuth::Wrong;
        TAccount account;
    };

    void Route();
    TAuthResult Authenticate(const std::string& login, const std::string& password, const std::string& remoteAddress);
    // Checks the password unless the login or the source is locked by earlier failures;
    // a wrong one counts against both.
    bool PasswordRight(const std::string& login, const std::string& remoteAddress,
                       const std::function<bool()>& check, bool slow, bool& busy);
    std::int64_t Now() const;
    // The account a request's login and password name; otherwise answers why not.
    std::optional<TAccount> SignedIn(const httplib::Request& req, httplib::Response& res);
    std::string PhoneUrl(const TAccount& account, const std::string& id) const;
    bool MailAllowed(std::int64_t account);

    void MemberStatus(const httplib::Request& req, httplib::Response& res);
    void Upload(const httplib::Request& req, httplib::Response& res);
    void SendToFriend(const httplib::Request& req, httplib::Response& res);
    void ServePicture(const httplib::Request& req, httplib::Response& res, bool guestPath);
    void MemberPage(const httplib::Request& req, httplib::Response& res);
    void GuestGallery(httplib::Response& res);
    void Register(const httplib::Request& req, httplib::Response& res);
    void Confirm(const httplib::Request& req, httplib::Response& res);
    void Download(httplib::Response& res);
    void Addresses(httplib::Response& res);

    TServiceConfig config_;
    TLog log_;
    TStore store_;
    TMailer mailer_;
    TMissThrottle misses_;
    TCheckQueue checks_;
    // An unknown login is checked against this, so it costs what a wrong password costs
    // and the answer's time does not tell which logins exist.
    std::string dummyHash_;
    std::int64_t guestAccount_ = 0;
    std::unique_ptr<httplib::Server> server_;
    std::string publicUrl_;
    std::atomic<bool> runStarted_{false};
    std::atomic<bool> runFinished_{false};
    std::atomic<bool> stopRequested_{false};

    // Passwords already proven right in this run, as keyed digests, so repeated uploads do
    // not pay the slow hash each time. Never written anywhere.
    std::mutex verifiedMutex_;
    std::unordered_set<std::string> verified_;

    std::mutex mailMutex_;
    std::map<std::int64_t, std::deque<std::int64_t>> mailTimes_;
};

} // namespace quillon::server
