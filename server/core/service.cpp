#include "service.h"

#include "addresses.h"
#include "credentials.h"
#include "forwarded.h"
#include "httpserver.h"
#include "loginlimits.h"
#include "pages.h"
#include "service/messages.h"


#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::server {

namespace {

constexpr const char* kPlainText = "text/plain; charset=utf-8";
constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr int kMailsPerHour = 20;
constexpr size_t kVerifiedLimit = 10000;
// Workers for the requests that touch the store or the mail. Password checks hold at most
// kCheckWorkers + kCheckQueue of them, so the rest stay free for phones and pages.
constexpr std::size_t kWorkers = 16;
// Each check holds 64 MiB and a core for a moment: two at a time, four more waiting, and
// the rest of the connection threads stay free for phones and pages.
constexpr std::size_t kCheckWorkers = 2;
constexpr std::size_t kCheckQueue = 4;
constexpr int kBusyRetrySeconds = 2;
// A phone that mistypes an address misses a few times; a guesser misses all the time.
constexpr std::size_t kMissLimit = 20;
constexpr std::chrono::seconds kMissWindow{60};

constexpr const char* kMsgCannotStore = "The service cannot store pictures now. Please try again later.";
constexpr const char* kMsgBusy = "The service is busy checking other logins. Please try again in a moment.";
constexpr const char* kMsgTooManyRegistrations =
    "Too many registration mails went to this address or from your network today. Please try again tomorrow.";
// Unconfirmed accounts are dropped after this, so a login cannot be held by an address
// that never answers.
constexpr std::int64_t kUnconfirmedLifetime = 48 * 3600;
constexpr std::int64_t kMailDay = 24 * 3600;
constexpr int kRegistrationMailsPerAddress = 3;
constexpr int kRegistrationMailsPerSource = 10;
constexpr const char* kMsgCannotHandle = "The service could not handle the request. Please try again later.";

std::string ClientOf(const THttpRequest& req, const TServiceConfig& config)
{
    return ClientAddress(req.remoteAddress, req.Header("X-Forwarded-For"), config.trustedProxy);
}

std::optional<std::string> Field(const THttpRequest& req, const char* name)
{
    if (auto part = req.parts.find(name); part != req.parts.end())
        return part->second.content;
    if (auto param = req.params.find(name); param != req.params.end())
        return param->second;
    return std::nullopt;
}

void Answer(THttpResponse& res, std::initializer_list<std::string> lines, const std::vector<std::string>& more = {})
{
    std::string body;
    for (const std::string& l : lines)
        body += l + "\r\n";
    for (const std::string& l : more)
        body += l + "\r\n";
    res.SetContent(body, kPlainText);
}

void AnswerError(THttpResponse& res, const std::string& sentence)
{
    Answer(res, {kKeywordError, sentence});
}

void AnswerMessage(THttpResponse& res, const char* keyword)
{
    Answer(res, {kKeywordMessage, keyword});
}

// Too many password checks are under way: come back shortly rather than queue up.
void AnswerBusy(THttpResponse& res, const std::function<void(THttpResponse&)>& body)
{
    res.status = 503;
    res.SetHeader("Retry-After", std::to_string(kBusyRetrySeconds));
    body(res);
}

void BusyPage(THttpResponse& res)
{
    res.SetContent(MessagePage("Busy", kMsgBusy), kHtml);
}

std::string LowerAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::vector<TStore::TMailQuota> RegistrationMailQuotas(const std::string& email, const std::string& remoteAddress)
{
    return {{"address:" + LowerAscii(email), kRegistrationMailsPerAddress},
            {"source:" + TMissThrottle::SourceOf(remoteAddress), kRegistrationMailsPerSource}};
}

TMail TakenLoginMail(const std::string& login, const std::string& email, const std::string& publicUrl)
{
    return TMail{email, "Your Quillon registration",
                 "Hello,\n\nsomeone, perhaps you, tried to create the Quillon account " + login +
                     " with this address, but that login is taken. If it was you, register again with another "
                     "login:\n\n" +
                     publicUrl + kRegisterPath +
                     "\n\nIf it was not you, ignore this mail: nothing has changed.\n"};
}

// The content type a phone needs, from the picture's own first bytes; the name and
// content type the client sent are not trusted.
std::string SniffPictureType(const std::string& bytes)
{
    auto starts = [&](std::string_view magic) { return bytes.compare(0, magic.size(), magic) == 0; };
    if (starts("\xFF\xD8\xFF"))
        return "image/jpeg";
    if (starts("\x89PNG\r\n\x1A\n"))
        return "image/png";
    if (starts("GIF87a") || starts("GIF89a"))
        return "image/gif";
    if (starts("BM") && bytes.size() >= 26)
        return "image/bmp";
    return "";
}

// Identifiers are letters and digits only (anything else names no picture); letter case
// does not count, for an address typed in on a phone.
std::optional<std::string> ParseId(const std::string& text)
{
    if (text.empty() || text.size() > 32)
        return std::nullopt;
    std::string id;
    for (char c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        else if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return std::nullopt;
        id += c;
    }
    return id;
}

// The desktop program's requests: it reads an answer only when the HTTP status is a
// success, so their failures are told in the answer's own words.
bool IsProgramRequest(const std::string& path)
{
    return path == kMemberStatusScript || path == kUploadScript || path == kSendToFriendScript;
}

std::optional<std::string> ReadFile(const std::filesystem::path& path)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat st{};
    std::optional<std::string> data;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        std::string buf(static_cast<size_t>(st.st_size), '\0');
        size_t done = 0;
        while (done < buf.size()) {
            ssize_t n = read(fd, buf.data() + done, buf.size() - done);
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
        if (done == buf.size())
            data = std::move(buf);
    }
    close(fd);
    return data;
}

} // namespace

TService::TService(TServiceConfig config, TLog log)
    : config_(std::move(config)), log_(std::move(log)), store_(OpenStore(config_)),
      mailer_(TMailSettings{config_.smtpUrl, config_.smtpUser, config_.smtpPassword, config_.mailFrom,
                            config_.dataDir / "outbox"},
              log_),
      mails_(*store_, [this](const TMail& mail) { return mailer_.Send(mail); }, [this] { return Now(); }, log_,
             config_.mailQueue),
      misses_(kMissLimit, kMissWindow), checks_(kCheckWorkers, kCheckQueue)
{
    guestAccount_ = store_->FindAccount(kGuestLogin)->id;
    dummyHash_ = HashPassword(NewToken());
    store_->ForgetLoginFailures(Now() - std::max(kAccountLoginLimits.coolDown, kSourceLoginLimits.coolDown));
    store_->RemoveUnconfirmedBefore(Now() - kUnconfirmedLifetime);
    THttpLimits limits = config_.http;
    limits.exemptAddress = config_.trustedProxy;
    limits.workers = kWorkers;
    server_ = std::make_unique<THttpServer>(
        limits, [this](const THttpRequest& req, THttpResponse& res) { return Quick(req, res); },
        [this](const THttpRequest& req, THttpResponse& res) { Handle(req, res); }, log_);
    if (!config_.certFile.empty())
        server_->UseTls(config_.certFile, config_.keyFile);
    if (config_.accessLog) {
        // The path alone: the member page's query carries a password, a confirmation
        // link's query a token.
        server_->SetAccessLog([this](const THttpRequest& req, const THttpResponse& res) {
            log_(ClientOf(req, config_) + " " + (req.method.empty() ? "-" : req.method) + " " +
                 (req.path.empty() ? "-" : req.path) + " " + std::to_string(res.status));
        });
    }
    Route();
}

TService::~TService() = default;

int TService::Bind()
{
    int port = server_->Bind(config_.listenAddress, config_.port);
    publicUrl_ = config_.publicUrl;
    if (publicUrl_.empty()) {
        const std::string& listen = config_.listenAddress;
        std::string host = listen == "0.0.0.0" || listen == "::" ? MachineAddress()
                           : listen.find(':') != std::string::npos ? "[" + listen + "]"
                                                                    : listen;
        publicUrl_ = (config_.certFile.empty() ? "http://" : "https://") + host + ":" + std::to_string(port);
    }
    return port;
}

void TService::Run()
{
    mails_.Start();
    server_->Run();
    mails_.Stop();
}

void TService::Stop()
{
    server_->Stop();
}

void TService::Route()
{
    auto get = [this](std::string_view path, THandler handler) { routes_[std::string(path)].get = std::move(handler); };
    auto post = [this](std::string_view path, THandler handler) {
        routes_[std::string(path)].post = std::move(handler);
    };
    post(kMemberStatusScript, [this](const auto& req, auto& res) { MemberStatus(req, res); });
    post(kUploadScript, [this](const auto& req, auto& res) { Upload(req, res); });
    post(kSendToFriendScript, [this](const auto& req, auto& res) { SendToFriend(req, res); });
    get(kCurrentVersionScript, [this](const auto&, auto& res) { res.SetContent(config_.currentVersion, "text/plain"); });
    get(kWapPath, [this](const auto& req, auto& res) {
        if (req.HasParam("id"))
            ServePicture(req, res, false);
        else
            MemberPage(req, res);
    });
    get(kGuestPath, [this](const auto& req, auto& res) {
        if (req.HasParam("id"))
            ServePicture(req, res, true);
        else
            GuestGallery(res);
    });
    for (const char* bare : {kWapPath, kGuestPath}) {
        std::string path(bare);
        path.pop_back();
        get(path, [path](const THttpRequest& req, THttpResponse& res) {
            size_t q = req.target.find('?');
            res.SetRedirect(path + "/" + (q == std::string::npos ? "" : req.target.substr(q)));
        });
    }
    get(kSitePath, [](const auto&, auto& res) { res.SetContent(HomePage(), kHtml); });
    get(kFaqPath, [](const auto&, auto& res) { res.SetContent(FaqPage(), kHtml); });
    get(kRegisterPath, [](const auto&, auto& res) { res.SetContent(RegisterPage("", "", ""), kHtml); });
    post(kRegisterPath, [this](const auto& req, auto& res) { Register(req, res); });
    get(kConfirmPath, [this](const auto& req, auto& res) { Confirm(req, res); });
    get(kDownloadPath, [this](const auto&, auto& res) { Download(res); });
    get(kAddressesPath, [this](const auto&, auto& res) { Addresses(res); });
    // Answered from memory on the network thread: nothing here waits for the store.
    for (const char* path : {kCurrentVersionScript, kSitePath, kFaqPath, kAddressesPath})
        quickPaths_.insert(path);
    quickPaths_.insert(std::string(kRegisterPath));
}

bool TService::Quick(const THttpRequest& req, THttpResponse& res)
{
    if (req.method != "GET")
        return false;
    if (quickPaths_.count(req.path)) {
        routes_.at(req.path).get(req, res);
        return true;
    }
    const bool wap = req.path == kWapPath;
    if ((!wap && req.path != kGuestPath) || !req.HasParam("id"))
        return false;
    // A picture that is in memory; anything else (a miss, a lookup) goes to a worker.
    std::optional<std::string> id = ParseId(req.Param("id"));
    if (!id)
        return false;
    std::optional<TPictureContent> picture = store_->CachedPicture(*id);
    if (!picture)
        return false;
    ServePicture(req, res, !wap, std::move(picture));
    return true;
}

void TService::Handle(const THttpRequest& req, THttpResponse& res)
{
    auto route = routes_.find(req.path);
    if (route == routes_.end()) {
        res.status = 404;
        return;
    }
    const THandler& handler = req.method == "GET" ? route->second.get : req.method == "POST" ? route->second.post
                                                                                              : THandler();
    if (!handler) {
        const char* allow = route->second.get ? "GET" : "POST";
        res.status = 405;
        res.SetHeader("Allow", allow);
        return AnswerError(res, std::string("This address takes only ") + allow + " requests.");
    }
    try {
        handler(req, res);
    } catch (const std::exception& e) {
        const bool storage = dynamic_cast<const TStorageError*>(&e) != nullptr;
        log_("failed on " + req.path + ": " + e.what());
        res = THttpResponse{};
        // The desktop program reads an answer only when the status is a success.
        res.status = IsProgramRequest(req.path) ? 200 : storage ? 503 : 500;
        AnswerError(res, storage ? kMsgCannotStore : kMsgCannotHandle);
    }
}

std::int64_t TService::Now() const
{
    return config_.clock ? config_.clock() : std::chrono::duration_cast<std::chrono::seconds>(
                                                 std::chrono::system_clock::now().time_since_epoch())
                                                 .count();
}

bool TService::PasswordRight(const std::string& login, const std::string& remoteAddress,
                             const std::function<bool()>& check, bool slow, bool& busy)
{
    const std::string accountKey = "login:" + LowerAscii(login);
    const std::string sourceKey = "source:" + TMissThrottle::SourceOf(remoteAddress);
    // A locked key is refused before any hashing: guessing costs the guesser time, not us.
    if (LockedFor(store_->LoginFailures(accountKey), kAccountLoginLimits, Now()) > 0 ||
        LockedFor(store_->LoginFailures(sourceKey), kSourceLoginLimits, Now()) > 0)
        return false;
    bool right = false;
    if (slow) {
        busy = !checks_.Run([&] { right = check(); });
        if (busy)
            return false;
    } else {
        right = check();
    }
    if (right) {
        store_->ChangeLoginFailures(accountKey, [](const TLoginFailures&) { return TLoginFailures{}; });
        return true;
    }
    const std::int64_t now = Now();
    store_->ChangeLoginFailures(accountKey,
                               [&](const TLoginFailures& f) { return AfterFailure(f, kAccountLoginLimits, now); });
    store_->ChangeLoginFailures(sourceKey,
                               [&](const TLoginFailures& f) { return AfterFailure(f, kSourceLoginLimits, now); });
    return false;
}

TService::TAuthResult TService::Authenticate(const std::string& login, const std::string& password,
                                             const std::string& remoteAddress)
{
    TAuthResult r;
    bool busy = false;
    std::optional<TAccount> account = store_->FindAccount(login);
    if (!account) {
        PasswordRight(
            login, remoteAddress,
            [&] {
                (void)VerifyPassword(dummyHash_, password);
                return false;
            },
            true, busy);
        if (busy)
            r.auth = TAuth::Busy;
        return r;
    }
    r.account = *account;
    if (!account->shared) {
        std::string key = RunKeyedDigest(std::to_string(account->id) + '\0' + account->passwordHash + '\0' + password);
        bool known;
        {
            std::lock_guard lock(verifiedMutex_);
            known = verified_.count(key) != 0;
        }
        // A password proven right before is still refused while its login is locked.
        if (!PasswordRight(login, remoteAddress,
                           [&] { return known || VerifyPassword(account->passwordHash, password); }, !known,
                           busy)) {
            if (busy)
                r.auth = TAuth::Busy;
            return r;
        }
        if (!known) {
            std::lock_guard lock(verifiedMutex_);
            if (verified_.size() >= kVerifiedLimit)
                verified_.clear();
            verified_.insert(key);
        }
    }
    r.auth = account->confirmed ? TAuth::Ok : TAuth::Unconfirmed;
    return r;
}

std::string TService::PhoneUrl(const TAccount& account, const std::string& id) const
{
    return publicUrl_ + (account.shared ? kGuestPath : kWapPath) + "?id=" + id;
}

bool TService::MailAllowed(std::int64_t account)
{
    // Counted in the store, so every instance on one database counts the same mails.
    const std::int64_t now = Now();
    return store_->CountMail({{"friend:" + std::to_string(account), kMailsPerHour}}, now - 3600, now);
}

std::optional<TAccount> TService::SignedIn(const THttpRequest& req, THttpResponse& res)
{
    std::optional<std::string> login = Field(req, "login"), password = Field(req, "password");
    if (!login || !password) {
        AnswerError(res, "The request lacks the login or the password.");
        return std::nullopt;
    }
    TAuthResult a = Authenticate(*login, *password, ClientOf(req, config_));
    if (a.auth == TAuth::Busy)
        AnswerBusy(res, [](THttpResponse& r) { AnswerError(r, kMsgBusy); });
    else if (a.auth == TAuth::Wrong)
        AnswerMessage(res, kWrongLoginOrPassword);
    else if (a.auth == TAuth::Unconfirmed)
        AnswerMessage(res, kUserIsNotConfirmed);
    else
        return a.account;
    return std::nullopt;
}

void TService::MemberStatus(const THttpRequest& req, THttpResponse& res)
{
    const std::optional<TAccount> account = SignedIn(req, res);
    if (!account)
        return;
    // Lines 2 to 4: the kind of account (1 member, 0 guest), its stored pictures, how
    // many it keeps.
    Answer(res, {kKeywordSuccess, account->shared ? "0" : "1", std::to_string(store_->CountPictures(account->id)),
                 std::to_string(account->shared ? config_.keepGuest : config_.keepPerAccount)});
}

void TService::Upload(const THttpRequest& req, THttpResponse& res)
{
    const std::optional<TAccount> account = SignedIn(req, res);
    if (!account)
        return;
    auto file = req.parts.find("logofile");
    if (file == req.parts.end())
        return AnswerError(res, "The upload holds no picture file.");
    const std::string& content = file->second.content;
    std::string type = SniffPictureType(content);
    if (type.empty())
        return AnswerError(res, "The uploaded file is not a JPEG, PNG, GIF or BMP picture.");
    TStoredPicture stored = store_->StorePicture(account->id, content, type,
                                                account->shared ? config_.keepGuest : config_.keepPerAccount);
    std::vector<std::string> withdrawn;
    for (const std::string& id : stored.withdrawn)
        withdrawn.push_back(PhoneUrl(*account, id));
    Answer(res, {kKeywordSuccess, PhoneUrl(*account, stored.id)}, withdrawn);
}

void TService::SendToFriend(const THttpRequest& req, THttpResponse& res)
{
    const std::optional<TAccount> account = SignedIn(req, res);
    if (!account)
        return;
    std::string address = Field(req, "address").value_or("");
    std::string comments = Field(req, "comments").value_or("");
    std::string name = Field(req, "sendername").value_or("");
    if (name.empty())
        name = account->shared ? "A friend" : account->login;
    if (!IsValidMailAddress(address) || !MailAllowed(account->id))
        return AnswerMessage(res, kCouldNotSendMail);
    std::string body = "Hello,\n\n" + name +
                       " thinks you will like Quillon, a program that turns your pictures into wallpapers and "
                       "logos for your phone.\n\n";
    if (!comments.empty())
        body += name + " writes:\n\n" + comments + "\n\n";
    body += "Get Quillon here: " + publicUrl_ + kDownloadPath + "\n";
    // A mail that only has to wait for the relay is as good as sent.
    if (mails_.Send(TMail{address, name + " recommends Quillon", body}) == TDelivery::Refused)
        return AnswerMessage(res, kCouldNotSendMail);
    Answer(res, {kKeywordSuccess});
}

void TService::ServePicture(const THttpRequest& req, THttpResponse& res, bool guestPath,
                            std::optional<TPictureContent> picture)
{
    const auto now = TMissThrottle::TClock::now();
    const std::string source = ClientOf(req, config_);
    if (std::optional<int> wait = misses_.RetryAfter(source, now)) {
        res.status = 429;
        res.SetHeader("Retry-After", std::to_string(*wait));
        res.SetContent(MessagePage("Too many requests", "Too many addresses from here named no picture. Please "
                                                         "try again in a minute."),
                        kHtml);
        return;
    }
    if (!picture) {
        std::optional<std::string> id = ParseId(req.Param("id"));
        picture = id ? store_->LoadPicture(*id) : std::nullopt;
    }
    if (!picture || (picture->account == guestAccount_) != guestPath) {
        misses_.Miss(source, now);
        res.status = 404;
        res.SetContent(MessagePage("Picture not found", "There is no picture at this address. It may have been "
                                                         "withdrawn after newer uploads."),
                        kHtml);
        return;
    }
    res.SetHeader("Cache-Control", "max-age=300");
    res.SetHeader("X-Content-Type-Options", "nosniff");
    res.SetContent(picture->bytes, picture->contentType);
}

void TService::MemberPage(const THttpRequest& req, THttpResponse& res)
{
    if (!req.HasParam("login"))
        return res.SetContent(WapLoginPage(), kHtml);
    TAuthResult a = Authenticate(req.Param("login"), req.Param("password"), ClientOf(req, config_));
    if (a.auth == TAuth::Busy)
        return AnswerBusy(res, BusyPage);
    if (a.auth == TAuth::Wrong) {
        res.status = 403;
        return res.SetContent(MessagePage("Wrong login or password", "The login or the password is not right."),
                               kHtml);
    }
    if (a.auth == TAuth::Unconfirmed) {
        res.status = 403;
        return res.SetContent(
            MessagePage("Account not confirmed",
                        "Follow the link in the mail sent to you after registration to confirm the account."),
            kHtml);
    }
    if (a.account.shared)
        return res.SetRedirect(kGuestPath);
    // The page's own address holds the password: keep it out of caches and referrers.
    res.SetHeader("Cache-Control", "no-store");
    res.SetHeader("Referrer-Policy", "no-referrer");
    res.SetContent(PictureListPage("Pictures of " + a.account.login,
                                    store_->ListPictures(a.account.id, config_.keepPerAccount), kWapPath),
                    kHtml);
}

void TService::GuestGallery(THttpResponse& res)
{
    res.SetHeader("Cache-Control", "no-store");
    res.SetContent(PictureListPage("Guest gallery", store_->ListPictures(guestAccount_, config_.keepGuest), kGuestPath),
                    kHtml);
}

void TService::Register(const THttpRequest& req, THttpResponse& res)
{
    std::string login = Field(req, "login").value_or("");
    std::string password = Field(req, "password").value_or("");
    std::string password2 = Field(req, "password2").value_or("");
    std::string email = Field(req, "email").value_or("");
    auto refuse = [&](const std::string& error) {
        res.status = 400;
        res.SetContent(RegisterPage(error, IsValidLogin(login) ? login : "", email.size() <= 254 ? email : ""),
                        kHtml);
    };
    if (!IsValidLogin(login))
        return refuse("Choose a login of up to 32 letters, digits, dots, dashes and underscores.");
    if (!IsAcceptableNewPassword(password))
        return refuse("Choose a password of 8 to 64 characters: letters, digits, spaces and punctuation.");
    if (password != password2)
        return refuse("The two passwords differ.");
    if (!IsValidMailAddress(email))
        return refuse("Enter a valid e-mail address.");

    const std::int64_t now = Now();
    store_->RemoveUnconfirmedBefore(now - kUnconfirmedLifetime);
    store_->ForgetMailsBefore(now - kMailDay);
    // Every registration sends a mail, so these limits keep the form from being used to
    // flood someone's mailbox.
    if (!store_->CountMail(RegistrationMailQuotas(email, ClientOf(req, config_)), now - kMailDay, now)) {
        res.status = 429;
        res.SetHeader("Retry-After", std::to_string(kMailDay));
        return res.SetContent(MessagePage("Too many registrations", kMsgTooManyRegistrations), kHtml);
    }
    // Hashed whether the login is free or not, so the answer's time does not tell.
    std::string hash;
    if (!checks_.Run([&] { hash = HashPassword(password); }))
        return AnswerBusy(res, BusyPage);
    if (!store_->AddAccount(login, hash, email, false)) {
        // The page is the same as for a new account; only the address's owner learns why.
        mails_.Send(TakenLoginMail(login, email, publicUrl_));
        return res.SetContent(RegisteredPage(login, email), kHtml);
    }
    std::optional<TAccount> account = store_->FindAccount(login);
    std::string link = publicUrl_ + kConfirmPath + "?token=" + store_->NewConfirmationToken(account->id);
    std::string body = "Hello " + login +
                       ",\n\nfollow this link to confirm your Quillon account:\n\n" + link +
                       "\n\nIf you did not create this account, ignore this mail.\n";
    if (mails_.Send(TMail{email, "Confirm your Quillon account", body}) == TDelivery::Refused) {
        store_->RemoveAccount(account->id);
        return refuse("The confirmation mail could not be sent. Please check the address and try again.");
    }
    if (mailer_.UsesOutbox())
        log_("confirmation link for " + login + ": " + link);
    res.SetContent(RegisteredPage(login, email), kHtml);
}

void TService::Confirm(const THttpRequest& req, THttpResponse& res)
{
    std::optional<std::string> login = store_->Confirm(req.Param("token"));
    if (!login) {
        res.status = 404;
        return res.SetContent(
            MessagePage("Unknown link", "This confirmation link is not valid or has been used already."), kHtml);
    }
    res.SetContent(ConfirmedPage(*login), kHtml);
}

void TService::Download(THttpResponse& res)
{
    if (config_.setupFile.empty())
        return res.SetContent(DownloadPage(), kHtml);
    std::optional<std::string> bytes = ReadFile(config_.setupFile);
    if (!bytes) {
        res.status = 404;
        return res.SetContent(MessagePage("Download", "The setup file is not available right now."), kHtml);
    }
    std::string name = std::filesystem::path(config_.setupFile).filename().string();
    res.SetHeader("Content-Disposition", "attachment; filename=\"" + name + "\"");
    res.SetContent(std::move(*bytes), "application/octet-stream");
}

void TService::Addresses(THttpResponse& res)
{
    Answer(res, {"wap=" + publicUrl_ + kWapPath, "guest=" + publicUrl_ + kGuestPath, "site=" + publicUrl_ + kSitePath,
                 "faq=" + publicUrl_ + kFaqPath, "register=" + publicUrl_ + kRegisterPath,
                 "setup=" + publicUrl_ + kDownloadPath});
}

} // namespace quillon::server
