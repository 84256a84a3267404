// Servers that misbehave on purpose: answers without end, and the scheme of the service
// host taken from the parameters file.
#include "service/httpconnection.h"
#include "service/messages.h"
#include "service/sendtofriendthread.h"
#include "service/uploadthread.h"
#include "service/versioncheckthread.h"
#include "service/worker.h"
#include "support/recordingserver.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <sys/resource.h>
#include <thread>

using namespace quillon;
using namespace quillon::test;

namespace {

long PeakResidentKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Answers every request with a body that never ends, as fast as the client reads it.
class TEndlessServer {
public:
    TEndlessServer()
    {
        auto endless = [this](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("text/plain", [this](size_t, httplib::DataSink& sink) {
                static const std::string block = "SUCCESS\r\n" + std::string(64 * 1024 - 9, 'x');
                if (!sink.write(block.data(), block.size()))
                    return false;
                sent_ += block.size();
                return true;
            });
        };
        server_.Get(".*", endless);
        server_.Post(".*", endless);
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~TEndlessServer()
    {
        server_.stop();
        thread_.join();
    }
    std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
    size_t Sent() const { return sent_; }

private:
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
    std::atomic<size_t> sent_{0};
};

TEST(EndlessAnswerTest, ReadingStopsAtTheLimitWithBoundedMemory)
{
    TEndlessServer server;
    TRecordingServer normal;  // outlives the connection, so its keep-alive ends at once
    THTTPConnection connection;
    const long before = PeakResidentKilobytes();
    try {
        connection.Get("http://" + server.Host() + "/curversion.php");
        FAIL() << "an endless answer was taken";
    } catch (const THTTPError& e) {
        FAIL() << "read as a network failure: " << e.what();
    } catch (const QuillonError&) {
    }
    EXPECT_GE(server.Sent(), kMaxAnswerBytes);
    // Unbounded reading grew by about 100 MB a second; the limit holds it to a few.
    EXPECT_LT(PeakResidentKilobytes() - before, 32 * 1024);

    // The connection is still good for the next request.
    normal.Answer("/curversion.php", "1.1.3");
    EXPECT_EQ(connection.Get(normal.URL("/curversion.php")), "1.1.3");
}

TEST(EndlessAnswerTest, WorkersTreatItAsAnUnreadableAnswer)
{
    TEndlessServer server;
    TServiceParameters parameters;
    parameters.Set("uploadhost", server.Host());
    parameters.Set("sendmailhost", server.Host());
    THTTPConnection connection;
    auto runOnMain = [](const std::function<void()>& f) { f(); };

    TTempDir dir;
    const std::string logo = dir.Write("logo.jpg", "jpeg").string();
    int memberStatus = -1;
    TUploadThread upload(connection, parameters, memberStatus, runOnMain, "ann", "pw", logo, nullptr);
    upload.Execute();
    EXPECT_EQ(upload.Result, TWorkerResult::ConnectionFailed);
    EXPECT_EQ(memberStatus, -1);

    TSendToFriendThread send(connection, parameters, runOnMain, "ann", "pw", "f@example.com", "", "");
    send.Execute();
    EXPECT_EQ(send.Result, TWorkerResult::ServiceError);
    EXPECT_EQ(send.AnswerText, kMsgSendLinkFailed);

    TNewVersionCheckThread version(connection, parameters);
    version.Execute();
    EXPECT_FALSE(NewVersionOffered(version.VersionText));
}

TEST(ServiceURLTest, AHostMayNameItsScheme)
{
    struct Case {
        const char* host;
        const char* url;
    } cases[] = {
        {"service.example", "http://service.example/upload.php"},
        {"localhost:8080", "http://localhost:8080/upload.php"},
        {"https://service.example", "https://service.example/upload.php"},
        {"HTTPS://service.example:8443", "HTTPS://service.example:8443/upload.php"},
        {"http://service.example", "http://service.example/upload.php"},
        {"https:/service.example", "http://https:/service.example/upload.php"},
        {"", "http:///upload.php"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ServiceURL(c.host, "/upload.php"), c.url) << c.host;
}

TEST(ServiceURLTest, EveryRequestFollowsTheHostsScheme)
{
    TRecordingServer server;
    server.Answer("/memberstatus.php", "SUCCESS\r\n1\r\n0\r\n0");
    server.Answer("/upload.php", "SUCCESS\r\nhttp://u/?id=1");
    server.Answer("/sendtofriend.php", "SUCCESS");
    TServiceParameters parameters;
    parameters.Set("uploadhost", "http://" + server.Host());
    parameters.Set("sendmailhost", "http://" + server.Host());
    THTTPConnection connection;
    auto runOnMain = [](const std::function<void()>& f) { f(); };
    TTempDir dir;
    const std::string logo = dir.Write("logo.jpg", "jpeg").string();
    int memberStatus = -1;

    TUploadThread upload(connection, parameters, memberStatus, runOnMain, "ann", "pw", logo, nullptr);
    upload.Execute();
    EXPECT_EQ(upload.Result, TWorkerResult::Success);
    TSendToFriendThread send(connection, parameters, runOnMain, "ann", "pw", "f@example.com", "", "");
    send.Execute();
    EXPECT_EQ(send.Result, TWorkerResult::Success);
    EXPECT_EQ(server.Requests().size(), 3u);

    // Over https the plain server cannot answer: the request fails in the TLS handshake
    // and never reaches the service as plain text.
    parameters.Set("uploadhost", "https://" + server.Host());
    memberStatus = -1;
    TUploadThread secure(connection, parameters, memberStatus, runOnMain, "ann", "pw", logo, nullptr);
    secure.Execute();
    EXPECT_EQ(secure.Result, TWorkerResult::ConnectionFailed);
    EXPECT_EQ(server.Requests().size(), 3u);
}

} // namespace
