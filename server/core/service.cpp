#include "service.h"

#include "addresses.h"
#include "credentials.h"
#include "forwarded.h"
#include "loginlimits.h"
#include "pages.h"
#include "service/messages.h"

#include <httplib.h>

#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace quillon::server {

namespace {

constexpr const char* kPlainText = "text/plain; charset=utf-8";
constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr int kMailsPerHour = 20;
constexpr size_t kVerifiedLimit = 10000;
constexpr int kThreads = 16;
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

std::string ClientOf(const httplib::Request& req, const TServiceConfig& config)
{
    return ClientAddress(req.remote_addr, req.get_header_value("X-Forwarded-For"), config.trustedProxy);
}

// Route patterns are regular expressions; the paths are meant literally.
std::string Exact(std::string_view path)
{
    std::string out;
    for (char c : path) {
        if (c == '.')
            out += '\\';
        out += c;
    }
    return out;
}

std::optional<std::string> Field(const httplib::Request& req, const char* name)
{
    if (req.has_file(name))
        return req.get_file_value(name).content;
    if (req.has_param(name))
        return req.get_param_value(name);
    return std::nullopt;
}

void Answer(httplib::Response& res, std::initializer_list<std::string> lines, const std::vector<std::string>& more = {})
{
    std::string body;
    for (const std::string& l : lines)
        body += l + "\r\n";
    for (const std::string& l : more)
        body += l + "\r\n";
    res.set_content(body, kPlainText);
}

void AnswerError(httplib::Response& res, const std::string& sentence)
{
    Answer(res, {kKeywordError, sentence});
}

void AnswerMessage(httplib::Response& res, const char* keyword)
{
    Answer(res, {kKeywordMessage, keyword});
}

// Too many password checks are under way: come back shortly rather than queue up.
void AnswerBusy(httplib::Response& res, const std::function<void(httplib::Response&)>& body)
{
    res.status = 503;
    res.set_header("Retry-After", std::to_string(kBusyRetrySeconds));
    body(res);
}

void BusyPage(httplib::Response& res)
{
    res.set_content(MessagePage("Busy", kMsgBusy), kHtml);
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

std::string StatusText(int status)
{
    switch (status) {
    case 400: return "Bad request";
    case 403: return "Forbidden";
    case 404: return "Not found";
    case 405: return "Method not allowed";
    case 413: return "The request is too large";
    case 429: return "Too many requests";
    case 414: return "The address is too long";
    default: return "Error " + std::to_string(status);
    }
}

} // namespace

TService::TService(TServiceConfig config, TLog log)
    : config_(std::move(config)), log_(std::move(log)), store_(config_.dataDir),
      mailer_(TMailSettings{config_.smtpUrl, config_.smtpUser, config_.smtpPassword, config_.mailFrom,
                            config_.dataDir / "outbox"},
              log_),
      misses_(kMissLimit, kMissWindow), checks_(kCheckWorkers, kCheckQueue)
{
    guestAccount_ = store_.FindAccount(kGuestLogin)->id;
    dummyHash_ = HashPassword(NewToken());
    store_.ForgetLoginFailures(Now() - std::max(kAccountLoginLimits.coolDown, kSourceLoginLimits.coolDown));
    store_.RemoveUnconfirmedBefore(Now() - kUnconfirmedLifetime);
    if (!config_.certFile.empty()) {
        auto ssl = std::make_unique<httplib::SSLServer>(config_.certFile.c_str(), config_.keyFile.c_str());
        if (!ssl->is_valid())
            throw std::runtime_error("Cannot use the certificate " + config_.certFile + " with the key " +
                                     config_.keyFile);
        server_ = std::move(ssl);
    } else {
        server_ = std::make_unique<httplib::Server>();
    }
    Route();
}

TService::~TService() = default;

int TService::Bind()
{
    int port = config_.port == 0 ? server_->bind_to_any_port(config_.listenAddress)
                                 : (server_->bind_to_port(config_.listenAddress.c_str(), config_.port)
                                        ? config_.port
                                        : -1);
    if (port < 0)
        throw std::runtime_error("Cannot listen on " + config_.listenAddress + " port " +
                                 std::to_string(config_.port));
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
    runStarted_ = true;
    if (!stopRequested_)
        server_->listen_after_bind();
    runFinished_ = true;
}

void TService::Stop()
{
    stopRequested_ = true;
    // The server only takes a stop once it is accepting; Run may be about to get there.
    while (runStarted_ && !runFinished_) {
        if (server_->is_running()) {
            server_->stop();
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void TService::Route()
{
    httplib::Server& s = *server_;
    s.new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
    s.set_payload_max_length(config_.maxUploadBytes);
    s.set_keep_alive_max_count(1000);
    s.set_tcp_nodelay(true);
    s.set_read_timeout(10);
    s.set_write_timeout(10);
    if (config_.accessLog) {
        // The path alone: the member page's query carries a password, a confirmation
        // link's query a token.
        s.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
            log_(ClientOf(req, config_) + " " + req.method + " " + req.path + " " + std::to_string(res.status));
        });
    }
    s.set_exception_handler([this](const httplib::Request& req, httplib::Response& res, std::exception_ptr ep) {
        std::string what = "unknown failure";
        bool storage = false;
        try {
            std::rethrow_exception(ep);
        } catch (const TStorageError& e) {
            what = e.what();
            storage = true;
        } catch (const std::exception& e) {
            what = e.what();
        } catch (...) {
        }
        log_("failed on " + req.path + ": " + what);
        if (IsProgramRequest(req.path))
            res.status = 200;
        else
            res.status = storage ? 503 : 500;
        AnswerError(res, storage ? kMsgCannotStore : kMsgCannotHandle);
    });
    s.set_error_handler(httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty())
            return httplib::Server::HandlerResponse::Unhandled;
        res.set_content(StatusText(res.status) + "\r\n", kPlainText);
        return httplib::Server::HandlerResponse::Handled;
    }));

    s.Post(Exact(kMemberStatusScript), [this](const auto& req, auto& res) { MemberStatus(req, res); });
    s.Post(Exact(kUploadScript), [this](const auto& req, auto& res) { Upload(req, res); });
    s.Post(Exact(kSendToFriendScript), [this](const auto& req, auto& res) { SendToFriend(req, res); });
    s.Get(Exact(kCurrentVersionScript),
          [this](const auto&, auto& res) { res.set_content(config_.currentVersion, "text/plain"); });
    s.Get(Exact(kWapPath), [this](const auto& req, auto& res) {
        if (req.has_param("id"))
            ServePicture(req, res, false);
        else
            MemberPage(req, res);
    });
    s.Get(Exact(kGuestPath), [this](const auto& req, auto& res) {
        if (req.has_param("id"))
            ServePicture(req, res, true);
        else
            GuestGallery(res);
    });
    for (const char* bare : {kWapPath, kGuestPath}) {
        std::string path(bare);
        path.pop_back();
        s.Get(Exact(path), [path](const httplib::Request& req, httplib::Response& res) {
            size_t q = req.target.find('?');
            res.set_redirect(path + "/" + (q == std::string::npos ? "" : req.target.substr(q)));
        });
    }
    s.Get(Exact(kSitePath), [](const auto&, auto& res) { res.set_content(HomePage(), kHtml); });
    s.Get(Exact(kFaqPath), [](const auto&, auto& res) { res.set_content(FaqPage(), kHtml); });
    s.Get(Exact(kRegisterPath), [](const auto&, auto& res) { res.set_content(RegisterPage("", "", ""), kHtml); });
    s.Post(Exact(kRegisterPath), [this](const auto& req, auto& res) { Register(req, res); });
    s.Get(Exact(kConfirmPath), [this](const auto& req, auto& res) { Confirm(req, res); });
    s.Get(Exact(kDownloadPath), [this](const auto&, auto& res) { Download(res); });
    s.Get(Exact(kAddressesPath), [this](const auto&, auto& res) { Addresses(res); });

    auto notAllowed = [](const char* allow) {
        return [allow](const httplib::Request&, httplib::Response& res) {
            res.status = 405;
            res.set_header("Allow", allow);
            AnswerError(res, std::string("This address takes only ") + allow + " requests.");
        };
    };
    for (const char* path : {kMemberStatusScript, kUploadScript, kSendToFriendScript})
        s.Get(Exact(path), notAllowed("POST"));
    for (const char* path : {kCurrentVersionScript, kWapPath, kGuestPath, kSitePath, kFaqPath, kConfirmPath,
                             kDownloadPath, kAddressesPath})
        s.Post(Exact(path), notAllowed("GET"));
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
    if (LockedFor(store_.LoginFailures(accountKey), kAccountLoginLimits, Now()) > 0 ||
        LockedFor(store_.LoginFailures(sourceKey), kSourceLoginLimits, Now()) > 0)
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
        store_.ChangeLoginFailures(accountKey, [](const TLoginFailures&) { return TLoginFailures{}; });
        return true;
    }
    const std::int64_t now = Now();
    store_.ChangeLoginFailures(accountKey,
                               [&](const TLoginFailures& f) { return AfterFailure(f, kAccountLoginLimits, now); });
    store_.ChangeLoginFailures(sourceKey,
                               [&](const TLoginFailures& f) { return AfterFailure(f, kSourceLoginLimits, now); });
    return false;
}

TService::TAuthResult TService::Authenticate(const std::string& login, const std::string& password,
                                             const std::string& remoteAddress)
{
    TAuthResult r;
    bool busy = false;
    std::optional<TAccount> account = store_.FindAccount(login);
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
    std::int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                           std::chrono::steady_clock::now().time_since_epoch())
                           .count();
    std::lock_guard lock(mailMutex_);
    std::deque<std::int64_t>& times = mailTimes_[account];
    while (!times.empty() && now - times.front() >= 3600)
        times.pop_front();
    if (static_cast<int>(times.size()) >= kMailsPerHour)
        return false;
    times.push_back(now);
    return true;
}

std::optional<TAccount> TService::SignedIn(const httplib::Request& req, httplib::Response& res)
{
    std::optional<std::string> login = Field(req, "login"), password = Field(req, "password");
    if (!login || !password) {
        AnswerError(res, "The request lacks the login or the password.");
        return std::nullopt;
    }
    TAuthResult a = Authenticate(*login, *password, ClientOf(req, config_));
    if (a.auth == TAuth::Busy)
        AnswerBusy(res, [](httplib::Response& r) { AnswerError(r, kMsgBusy); });
    else if (a.auth == TAuth::Wrong)
        AnswerMessage(res, kWrongLoginOrPassword);
    else if (a.auth == TAuth::Unconfirmed)
        AnswerMessage(res, kUserIsNotConfirmed);
    else
        return a.account;
    return std::nullopt;
}

void TService::MemberStatus(const httplib::Request& req, httplib::Response& res)
{
    const std::optional<TAccount> account = SignedIn(req, res);
    if (!account)
        return;
    // Lines 2 to 4: the kind of account (1 member, 0 guest), its stored pictures, how
    // many it keeps.
    Answer(res, {kKeywordSuccess, account->shared ? "0" : "1", std::to_string(store_.CountPictures(account->id)),
                 std::to_string(account->shared ? config_.keepGuest : config_.keepPerAccount)});
}

void TService::Upload(const httplib::Request& req, httplib::Response& res)
{
    const std::optional<TAccount> account = SignedIn(req, res);
    if (!account)
        return;
    if (!req.has_file("logofile"))
        return AnswerError(res, "The upload holds no picture file.");
    httplib::MultipartFormData file = req.get_file_value("logofile");
    std::string type = SniffPictureType(file.content);
    if (type.empty())
        return AnswerError(res, "The uploaded file is not a JPEG, PNG, GIF or BMP picture.");
    TStoredPicture stored = store_.StorePicture(account->id, file.content, type,
                                                account->shared ? config_.keepGuest : config_.keepPerAccount);
    std::vector<std::string> withdrawn;
    for (const std::string& id : stored.withdrawn)
        withdrawn.push_back(PhoneUrl(*account, id));
    Answer(res, {kKeywordSuccess, PhoneUrl(*account, stored.id)}, withdrawn);
}

void TService::SendToFriend(const httplib::Request& req, httplib::Response& res)
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
    if (!mailer_.Send(TMail{address, name + " recommends Quillon", body}))
        return AnswerMessage(res, kCouldNotSendMail);
    Answer(res, {kKeywordSuccess});
}

void TService::ServePicture(const httplib::Request& req, httplib::Response& res, bool guestPath)
{
    const auto now = TMissThrottle::TClock::now();
    const std::string source = ClientOf(req, config_);
    if (std::optional<int> wait = misses_.RetryAfter(source, now)) {
        res.status = 429;
        res.set_header("Retry-After", std::to_string(*wait));
        res.set_content(MessagePage("Too many requests", "Too many addresses from here named no picture. Please "
                                                         "try again in a minute."),
                        kHtml);
        return;
    }
    std::optional<std::string> id = ParseId(req.get_param_value("id"));
    std::optional<TPictureContent> picture = id ? store_.LoadPicture(*id) : std::nullopt;
    if (!picture || (picture->account == guestAccount_) != guestPath) {
        misses_.Miss(source, now);
        res.status = 404;
        res.set_content(MessagePage("Picture not found", "There is no picture at this address. It may have been "
                                                         "withdrawn after newer uploads."),
                        kHtml);
        return;
    }
    res.set_header("Cache-Control", "max-age=300");
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_content(*picture->bytes, picture->contentType.c_str());
}

void TService::MemberPage(const httplib::Request& req, httplib::Response& res)
{
    if (!req.has_param("login"))
        return res.set_content(WapLoginPage(), kHtml);
    TAuthResult a = Authenticate(req.get_param_value("login"), req.get_param_value("password"), ClientOf(req, config_));
    if (a.auth == TAuth::Busy)
        return AnswerBusy(res, BusyPage);
    if (a.auth == TAuth::Wrong) {
        res.status = 403;
        return res.set_content(MessagePage("Wrong login or password", "The login or the password is not right."),
                               kHtml);
    }
    if (a.auth == TAuth::Unconfirmed) {
        res.status = 403;
        return res.set_content(
            MessagePage("Account not confirmed",
                        "Follow the link in the mail sent to you after registration to confirm the account."),
            kHtml);
    }
    if (a.account.shared)
        return res.set_redirect(kGuestPath);
    // The page's own address holds the password: keep it out of caches and referrers.
    res.set_header("Cache-Control", "no-store");
    res.set_header("Referrer-Policy", "no-referrer");
    res.set_content(PictureListPage("Pictures of " + a.account.login,
                                    store_.ListPictures(a.account.id, config_.keepPerAccount), kWapPath),
                    kHtml);
}

void TService::GuestGallery(httplib::Response& res)
{
    res.set_header("Cache-Control", "no-store");
    res.set_content(PictureListPage("Guest gallery", store_.ListPictures(guestAccount_, config_.keepGuest), kGuestPath),
                    kHtml);
}

void TService::Register(const httplib::Request& req, httplib::Response& res)
{
    std::string login = Field(req, "login").value_or("");
    std::string password = Field(req, "password").value_or("");
    std::string password2 = Field(req, "password2").value_or("");
    std::string email = Field(req, "email").value_or("");
    auto refuse = [&](const std::string& error) {
        res.status = 400;
        res.set_content(RegisterPage(error, IsValidLogin(login) ? login : "", email.size() <= 254 ? email : ""),
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
    store_.RemoveUnconfirmedBefore(now - kUnconfirmedLifetime);
    store_.ForgetMailsBefore(now - kMailDay);
    // Every registration sends a mail, so these limits keep the form from being used to
    // flood someone's mailbox.
    if (!store_.CountMail(RegistrationMailQuotas(email, ClientOf(req, config_)), now - kMailDay, now)) {
        res.status = 429;
        res.set_header("Retry-After", std::to_string(kMailDay));
        return res.set_content(MessagePage("Too many registrations", kMsgTooManyRegistrations), kHtml);
    }
    // Hashed whether the login is free or not, so the answer's time does not tell.
    std::string hash;
    if (!checks_.Run([&] { hash = HashPassword(password); }))
        return AnswerBusy(res, BusyPage);
    if (!store_.AddAccount(login, hash, email, false)) {
        // The page is the same as for a new account; only the address's owner learns why.
        mailer_.Send(TakenLoginMail(login, email, publicUrl_));
        return res.set_content(RegisteredPage(login, email), kHtml);
    }
    std::optional<TAccount> account = store_.FindAccount(login);
    std::string link = publicUrl_ + kConfirmPath + "?token=" + store_.NewConfirmationToken(account->id);
    std::string body = "Hello " + login +
                       ",\n\nfollow this link to confirm your Quillon account:\n\n" + link +
                       "\n\nIf you did not create this account, ignore this mail.\n";
    if (!mailer_.Send(TMail{email, "Confirm your Quillon account", body})) {
        store_.RemoveAccount(account->id);
        return refuse("The confirmation mail could not be sent. Please check the address and try again.");
    }
    if (mailer_.UsesOutbox())
        log_("confirmation link for " + login + ": " + link);
    res.set_content(RegisteredPage(login, email), kHtml);
}

void TService::Confirm(const httplib::Request& req, httplib::Response& res)
{
    std::optional<std::string> login = store_.Confirm(req.get_param_value("token"));
    if (!login) {
        res.status = 404;
        return res.set_content(
            MessagePage("Unknown link", "This confirmation link is not valid or has been used already."), kHtml);
    }
    res.set_content(ConfirmedPage(*login), kHtml);
}

void TService::Download(httplib::Response& res)
{
    if (config_.setupFile.empty())
        return res.set_content(DownloadPage(), kHtml);
    std::optional<std::string> bytes = ReadFile(config_.setupFile);
    if (!bytes) {
        res.status = 404;
        return res.set_content(MessagePage("Download", "The setup file is not available right now."), kHtml);
    }
    std::string name = std::filesystem::path(config_.setupFile).filename().string();
    res.set_header("Content-Disposition", "attachment; filename=\"" + name + "\"");
    res.set_content(std::move(*bytes), "application/octet-stream");
}

void TService::Addresses(httplib::Response& res)
{
    Answer(res, {"wap=" + publicUrl_ + kWapPath, "guest=" + publicUrl_ + kGuestPath, "site=" + publicUrl_ + kSitePath,
                 "faq=" + publicUrl_ + kFaqPath, "register=" + publicUrl_ + kRegisterPath,
                 "setup=" + publicUrl_ + kDownloadPath});
}

} // namespace quillon::server
