// Mail through a real SMTP conversation, and HTTPS with a certificate.
#include "servicefixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>

using namespace quillon::server;
using namespace quillon::server::test;

namespace {

// A mail relay on 127.0.0.1 (on the given port, else a free one) that keeps what it was
// given and accepts every mail except those to a recipient it refuses for good.
class TSmtpSink {
public:
    explicit TSmtpSink(int port = 0, std::string refused = "") : refused_(std::move(refused))
    {
        listen_ = socket(AF_INET, SOCK_STREAM, 0);
        int on = 1;
        setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<std::uint16_t>(port));
        bound_ = bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        socklen_t len = sizeof addr;
        getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        ::listen(listen_, 4);
        thread_ = std::thread([this] { Serve(); });
    }
    ~TSmtpSink()
    {
        shutdown(listen_, SHUT_RDWR);
        close(listen_);
        thread_.join();
    }
    int Port() const { return port_; }
    bool Bound() const { return bound_; }
    std::string Transcript()
    {
        std::lock_guard lock(mutex_);
        return transcript_;
    }

private:
    void Serve()
    {
        int fd;
        while ((fd = accept(listen_, nullptr, nullptr)) >= 0) {
            Say(fd, "220 sink ready\r\n");
            std::string pending;
            bool inData = false;
            char buf[4096];
            ssize_t n;
            while ((n = read(fd, buf, sizeof buf)) > 0) {
                pending.append(buf, static_cast<size_t>(n));
                {
                    std::lock_guard lock(mutex_);
                    transcript_.append(buf, static_cast<size_t>(n));
                }
                size_t eol;
                while ((eol = pending.find(inData ? "\r\n.\r\n" : "\r\n")) != std::string::npos) {
                    std::string line = pending.substr(0, eol);
                    pending.erase(0, eol + (inData ? 5 : 2));
                    if (inData) {
                        inData = false;
                        Say(fd, "250 queued\r\n");
                    } else if (line.rfind("DATA", 0) == 0) {
                        inData = true;
                        Say(fd, "354 go on\r\n");
                    } else if (line.rfind("QUIT", 0) == 0) {
                        Say(fd, "221 bye\r\n");
                    } else if (!refused_.empty() && line.rfind("RCPT TO:<" + refused_ + ">", 0) == 0) {
                        Say(fd, "550 no such mailbox\r\n");
                    } else {
                        Say(fd, "250 ok\r\n");
                    }
                }
            }
            close(fd);
        }
    }
    static void Say(int fd, const std::string& s) { (void)!write(fd, s.data(), s.size()); }

    std::string refused_;
    int listen_ = -1;
    int port_ = 0;
    bool bound_ = false;
    std::thread thread_;
    std::mutex mutex_;
    std::string transcript_;
};

std::string SendToFriend(TRunningService& service, const std::string& comments,
                         const std::string& address = "friend@example.com")
{
    auto res = service.Client().Post("/sendtofriend.php", httplib::MultipartFormDataItems{
                                                              {"login", "guest", "", ""},
                                                              {"password", "x", "", ""},
                                                              {"address", address, "", ""},
                                                              {"comments", comments, "", ""},
                                                              {"sendername", "Ann", "", ""},
                                                          });
    return res ? res->body : "no answer";
}

TEST(Relay, SendToFriendHandsTheMailToTheRelay)
{
    TSmtpSink sink;
    TServiceConfig config;
    config.smtpUrl = "smtp://127.0.0.1:" + std::to_string(sink.Port());
    config.mailFrom = "service@example.org";
    TRunningService service(config);
    EXPECT_EQ(SendToFriend(service, "Hi!\n.\nA line with a dot alone."), "SUCCESS\r\n");
    std::string t = sink.Transcript();
    EXPECT_NE(t.find("MAIL FROM:<service@example.org>"), std::string::npos) << t;
    EXPECT_NE(t.find("RCPT TO:<friend@example.com>"), std::string::npos) << t;
    EXPECT_NE(t.find("Subject: Ann recommends Quillon\r\n"), std::string::npos) << t;
    // The lone dot is escaped, so the relay does not end the mail early.
    EXPECT_NE(t.find("Hi!\r\n..\r\nA line with a dot alone."), std::string::npos) << t;
    EXPECT_TRUE(service.Outbox().empty());
}

TEST(Relay, AMailTheRelayRefusesForGoodAnswersCouldNotSendMail)
{
    TSmtpSink sink(0, "nobody@example.com");
    TServiceConfig config;
    config.smtpUrl = "smtp://127.0.0.1:" + std::to_string(sink.Port());
    TRunningService service(config);
    EXPECT_EQ(SendToFriend(service, "", "nobody@example.com"), "MESSAGE\r\nCOULD_NOT_SEND_MAIL\r\n");
    EXPECT_EQ(SendToFriend(service, "", "friend@example.com"), "SUCCESS\r\n");
}

// The relay out of reach for a while: the mail waits in the queue, and goes once the
// relay is back, without the user sending it again.
TEST(Relay, MailsWaitForARelayOutOfReach)
{
    int port;
    {
        TSmtpSink gone;
        port = gone.Port();
    }
    std::atomic<std::int64_t> now{std::time(nullptr)};
    TServiceConfig config;
    config.smtpUrl = "smtp://127.0.0.1:" + std::to_string(port);
    config.clock = [&] { return now.load(); };
    config.mailQueue.poll = std::chrono::milliseconds(20);
    TRunningService service(config);
    EXPECT_EQ(SendToFriend(service, "while down"), "SUCCESS\r\n");
    // Registering too: the account waits for its confirmation mail.
    auto reg = service.Client().Post("/register.php", "login=olga&password=secret-password&password2=secret-password&"
                                                  "email=olga%40example.org",
                                     "application/x-www-form-urlencoded");
    ASSERT_TRUE(reg);
    EXPECT_EQ(reg->status, 200) << reg->body;
    EXPECT_TRUE(service.Store().FindAccount("olga"));

    TSmtpSink back(port);
    ASSERT_TRUE(back.Bound());
    now += 59;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(back.Transcript(), "") << "not due yet";
    now += 1;
    std::string t;
    for (int i = 0; i < 500 && (t.find("while down") == std::string::npos || t.find("Confirm your") == std::string::npos); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        t = back.Transcript();
    }
    EXPECT_NE(t.find("while down"), std::string::npos) << t;
    EXPECT_NE(t.find("RCPT TO:<olga@example.org>"), std::string::npos) << t;
    EXPECT_NE(t.find("/confirm.php?token="), std::string::npos) << t;
    now += 100000;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(back.Transcript(), t) << "each sent once";
}

TEST(Tls, ServesHttpsWithTheGivenCertificate)
{
    quillon::test::TTempDir dir;
    std::string cert = (dir.Path() / "cert.pem").string(), key = (dir.Path() / "key.pem").string();
    std::string cmd = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -keyout '" + key +
                      "' -out '" + cert + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    TServiceConfig config;
    config.certFile = cert;
    config.keyFile = key;
    TRunningService service(config);
    EXPECT_EQ(service.PublicUrl().rfind("https://127.0.0.1:", 0), 0u);
    httplib::SSLClient client("127.0.0.1", service.Port());
    client.set_ca_cert_path(cert.c_str());
    auto res = client.Get("/curversion.php");
    ASSERT_TRUE(res) << httplib::to_string(res.error());
    EXPECT_EQ(res->body, "1.1.2");
    // Plain HTTP on the TLS port gets nothing useful.
    auto plain = service.Client().Get("/curversion.php");
    EXPECT_TRUE(!plain || plain->body != "1.1.2");
}

TEST(Tls, CertificateThatCannotBeReadStopsTheStart)
{
    TServiceConfig config;
    config.certFile = "/nonexistent/cert.pem";
    config.keyFile = "/nonexistent/key.pem";
    EXPECT_THROW(TRunningService service(config), std::runtime_error);
}

} // namespace
