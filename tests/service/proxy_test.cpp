// Proxy behaviour through a real forward proxy (tinyproxy) with basic authentication,
// started on loopback for each test.
#include "service/proxy.h"
#include "service/uploadthread.h"
#include "support/recordingserver.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

extern char** environ;

using namespace quillon;
using namespace quillon::test;

namespace {

constexpr const char* kProxyUser = "proxyuser";
constexpr const char* kProxyPassword = "s3cret";

int FreeLoopbackPort()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    close(fd);
    return ntohs(addr.sin_port);
}

bool Accepts(int port)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
}

// tinyproxy in the foreground with a generated configuration; killed with the object.
class TTinyproxy {
public:
    explicit TTinyproxy(const TTempDir& dir) : port_(FreeLoopbackPort())
    {
        std::string conf = dir.Write("tinyproxy.conf",
                                     "Port " + std::to_string(port_) +
                                         "\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\nAllow 127.0.0.1\n"
                                         "BasicAuth " + kProxyUser + " " + kProxyPassword +
                                         "\nLogLevel Info\n")
                               .string();
        std::string log = (dir.Path() / "tinyproxy.log").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const char* argv[] = {"tinyproxy", "-d", "-c", conf.c_str(), nullptr};
        int rc = posix_spawnp(&pid_, "tinyproxy", &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            pid_ = 0;
            return;
        }
        for (int i = 0; i < 250 && !Accepts(port_); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ~TTinyproxy()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    TTinyproxy(const TTinyproxy&) = delete;
    TTinyproxy& operator=(const TTinyproxy&) = delete;

    bool Running() const { return pid_ > 0 && Accepts(port_); }
    int Port() const { return port_; }

private:
    int port_;
    pid_t pid_ = 0;
};

class ProxyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(proxy.Running()) << "tinyproxy (Debian package tinyproxy-bin) must be installed";
        server.Answer("/ok", "ok");
    }

    TOptions Options(int source, const std::string& password = kProxyPassword,
                     const std::string& port = "") const
    {
        TOptions o;
        o.proxysource = source;
        o.proxyhost = "127.0.0.1";
        o.proxyport = port.empty() ? std::to_string(proxy.Port()) : port;
        o.proxyauthentication = true;
        o.proxylogin = kProxyUser;
        o.proxypassword = password;
        return o;
    }

    static bool ViaProxy(const TRecordedRequest& r) { return r.Header("Via").find("tinyproxy") != std::string::npos; }

    TTempDir dir;
    TTinyproxy proxy{dir};
    TRecordingServer server;
    THTTPConnection connection;
};

TEST_F(ProxyTest, ProxySourceDecidesWhetherRequestsGoThroughTheProxy)
{
    struct Case {
        int source;
        bool viaProxy;
    } cases[] = {{psManual, true}, {psIE, true}, {psNoProxy, false}};
    for (const auto& c : cases) {
        ConfigureConnection(connection, Options(c.source));
        EXPECT_EQ(connection.Get(server.URL("/ok")), "ok") << c.source;
        ASSERT_FALSE(server.Requests().empty());
        EXPECT_EQ(ViaProxy(server.Requests().back()), c.viaProxy) << c.source;
    }
}

TEST_F(ProxyTest, WrongCredentialsFailTheRequest)
{
    ConfigureConnection(connection, Options(psManual, "wrong"));
    try {
        connection.Get(server.URL("/ok"));
        FAIL() << "the proxy let the request through";
    } catch (const THTTPError& e) {
        EXPECT_GE(e.Status(), 400);  // the proxy refuses the credentials
    }
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(ProxyTest, UploadThroughTheProxyWithAndWithoutTheRightCredentials)
{
    TServiceParameters parameters;
    parameters.Set("uploadhost", server.Host());
    server.Answer("/upload.php", "SUCCESS\r\nhttp://u/?id=1");
    std::string file = dir.Write("logo.jpg", "bytes").string();
    for (const char* password : {kProxyPassword, "wrong"}) {
        int memberStatus = 1;
        ConfigureConnection(connection, Options(psManual, password));
        TUploadThread upload(connection, parameters, memberStatus, [](const std::function<void()>& f) { f(); },
                             "ann", "pw", file, nullptr);
        upload.Execute();
        bool right = std::string(password) == kProxyPassword;
        EXPECT_EQ(upload.Result, right ? TWorkerResult::Success : TWorkerResult::ConnectionFailed) << password;
        // The proxy's refusal is no answer of the service: the proxy settings are to blame.
        EXPECT_EQ(upload.HTTPStatus, 0) << password;
        EXPECT_EQ(connection.Proxy(), TProxySettings()) << "the worker ends by resetting its connection";
    }
    auto r = server.Requests();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_TRUE(ViaProxy(r[0]));
    EXPECT_EQ(r[0].parts.at(2).content, "bytes");
}

TEST_F(ProxyTest, ResetConnectionIgnoresTheEnvironmentsProxy)
{
    std::string proxyUrl = "http://" + std::string(kProxyUser) + ":wrong@127.0.0.1:" + std::to_string(proxy.Port());
    setenv("http_proxy", proxyUrl.c_str(), 1);
    ResetConnection(connection);
    std::string body;
    EXPECT_NO_THROW(body = connection.Get(server.URL("/ok")));
    unsetenv("http_proxy");
    EXPECT_EQ(body, "ok");
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_FALSE(ViaProxy(server.Requests()[0]));
}

TEST_F(ProxyTest, PortThatIsNotANumberFailsBeforeAnythingIsSent)
{
    // As a command would: the configure step fails and no request follows.
    auto command = [&] {
        ConfigureConnection(connection, Options(psManual, kProxyPassword, "80a"));
        connection.Get(server.URL("/ok"));
    };
    try {
        command();
        FAIL() << "the port 80a was accepted";
    } catch (const THTTPError&) {
        FAIL() << "a request was attempted";
    } catch (const QuillonError& e) {
        EXPECT_STREQ(e.what(), "'80a' is not a valid integer value");
    }
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(dir.Read("tinyproxy.log").find("Request"), std::string::npos);
}

} // namespace
