#pragma once

#include "checkqueue.h"
#include "config.h"
#include "http.h"
#include "mailer.h"
#include "mailqueue.h"
#include "store.h"
#include "throttle.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace quillon::server {

class THttpServer;

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
    TStore& Store() { return *store_; }

private:
    enum class TAuth { Ok, Wrong, Unconfirmed, Busy };
    struct TAuthResult {
        TAuth auth = TAuth::Wrong;
        TAccount account;
    };

    using THandler = std::function<void(const THttpRequest&, THttpResponse&)>;
    struct TRoute {
        THandler get;
        THandler post;
    };

    void Route();
    // On a network thread: the answers that are ready in memory.
    bool Quick(const THttpRequest& req, THttpResponse& res);
    // On a worker: every other request.
    void Handle(const THttpRequest& req, THttpResponse& res);
    TAuthResult Authenticate(const std::string& login, const std::string& password, const std::string& remoteAddress);
    // Checks the password unless the login or the source is locked by earlier failures;
    // a wrong one counts against both.
    bool PasswordRight(const std::string& login, const std::string& remoteAddress,
                       const std::function<bool()>& check, bool slow, bool& busy);
    std::int64_t Now() const;
    // The account a request's login and password name; otherwise answers why not.
    std::optional<TAccount> SignedIn(const THttpRequest& req, THttpResponse& res);
    std::string PhoneUrl(const TAccount& account, const std::string& id) const;
    bool MailAllowed(std::int64_t account);

    void MemberStatus(const THttpRequest& req, THttpResponse& res);
    void Upload(const THttpRequest& req, THttpResponse& res);
    void SendToFriend(const THttpRequest& req, THttpResponse& res);
    // The picture when the caller has it already; otherwise it is looked up.
    void ServePicture(const THttpRequest& req, THttpResponse& res, bool guestPath,
                      std::optional<TPictureContent> picture = std::nullopt);
    void MemberPage(const THttpRequest& req, THttpResponse& res);
    void GuestGallery(THttpResponse& res);
    void Register(const THttpRequest& req, THttpResponse& res);
    void Confirm(const THttpRequest& req, THttpResponse& res);
    void Download(THttpResponse& res);
    void Addresses(THttpResponse& res);

    TServiceConfig config_;
    TLog log_;
    std::unique_ptr<TStore> store_;
    TMailer mailer_;
    TMailQueue mails_;
    TMissThrottle misses_;
    TCheckQueue checks_;
    // An unknown login is checked against this, so it costs what a wrong password costs
    // and the answer's time does not tell which logins exist.
    std::string dummyHash_;
    std::int64_t guestAccount_ = 0;
    std::unordered_map<std::string, TRoute> routes_;
    std::unordered_set<std::string> quickPaths_;
    std::unique_ptr<THttpServer> server_;
    std::string publicUrl_;

    // Passwords already proven right in this run, as keyed digests, so repeated uploads do
    // not pay the slow hash each time. Never written anywhere.
    std::mutex verifiedMutex_;
    std::unordered_set<std::string> verified_;
};

} // namespace quillon::server
