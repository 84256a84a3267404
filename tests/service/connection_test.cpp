#include "service/httpconnection.h"
#include "service/messages.h"
#include "support/recordingserver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

using namespace quillon;
using namespace quillon::test;

namespace {

class ConnectionTest : public ::testing::Test {
protected:
    TRecordingServer server;
    THTTPConnection connection;
};

TEST_F(ConnectionTest, PostIsHttp10MultipartWithTheFixedHeaders)
{
    server.Answer("/post", "ok");
    TFormData form;
    form.AddField("a", "1");
    EXPECT_EQ(connection.Post(server.URL("/post"), form), "ok");

    auto r = server.Requests().at(0);
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.version, "HTTP/1.0");
    EXPECT_EQ(r.Header("User-Agent"), "Mozilla/3.0 (compatible; Indy Library)");
    EXPECT_EQ(r.Header("Accept"), "text/html, */*");
    EXPECT_EQ(r.Header("Content-Type").rfind("multipart/form-data; boundary=", 0), 0u) << r.Header("Content-Type");
    ASSERT_EQ(r.parts.size(), 1u);
    EXPECT_EQ(r.parts[0].content, "1");
}

TEST_F(ConnectionTest, GetIsHttp11WithTheFixedHeaders)
{
    server.Answer("/get", "body\r\n");
    EXPECT_EQ(connection.Get(server.URL("/get")), "body\r\n");

    auto r = server.Requests().at(0);
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.version, "HTTP/1.1");
    EXPECT_EQ(r.Header("User-Agent"), kUserAgent);
    EXPECT_EQ(r.Header("Accept"), "text/html, */*");
    EXPECT_EQ(r.Header("Content-Type"), "text/html");
}

TEST_F(ConnectionTest, EveryPostHasAConnectionOfItsOwn)
{
    // A kept-alive connection that the server closes after an HTTP/1.0 answer would
    // break the next post now and then; each post must connect afresh.
    server.Answer("/post", "ok");
    TFormData form;
    form.AddField("a", "1");
    connection.Get(server.URL("/post"));
    for (int i = 0; i < 3; ++i)
        connection.Post(server.URL("/post"), form);
    auto r = server.Requests();
    ASSERT_EQ(r.size(), 4u);
    for (size_t i = 1; i < r.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            EXPECT_NE(r[i].remotePort, r[j].remotePort) << i << " reused the connection of " << j;
}

TEST_F(ConnectionTest, CookiesStayWithTheirConnection)
{
    server.Answer("/login", TCannedAnswer{200, "in", {{"Set-Cookie", "session=abc; Path=/"}}, false});
    server.Answer("/next", "ok");
    TFormData form;
    form.AddField("x", "y");
    connection.Post(server.URL("/login"), form);
    connection.Get(server.URL("/next"));
    connection.Post(server.URL("/next"), form);
    THTTPConnection other;
    other.Get(server.URL("/next"));

    auto r = server.Requests();
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[1].Header("Cookie"), "session=abc");
    EXPECT_EQ(r[2].Header("Cookie"), "session=abc");
    EXPECT_FALSE(r[3].HasHeader("Cookie"));
}

TEST_F(ConnectionTest, StatusOutside2xxFailsAndRedirectsAreNotFollowed)
{
    server.Answer("/error", "SUCCESS\r\nhttp://x/?id=1", 500);
    server.Answer("/moved", TCannedAnswer{302, "", {{"Location", server.URL("/target")}}, false});
    server.Answer("/target", "SUCCESS");
    for (const char* path : {"/error", "/moved", "/missing"}) {
        try {
            connection.Get(server.URL(path));
            ADD_FAILURE() << path << " did not fail";
        } catch (const THTTPError& e) {
            EXPECT_GE(e.Status(), 300) << path;
        }
    }
    for (const auto& r : server.Requests())
        EXPECT_NE(r.path, "/target");
}

TEST_F(ConnectionTest, OnlyHttpAndHttpsAreAllowed)
{
    std::string port = std::to_string(server.Port());
    for (const std::string& url : std::vector<std::string>{"file:///etc/hostname", "ftp://127.0.0.1:" + port + "/x",
                                  "dict://127.0.0.1:" + port + "/x", "gopher://127.0.0.1:" + port + "/x"})
        EXPECT_THROW(connection.Get(url), THTTPError) << url;
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(ConnectionTest, QueryParametersArePercentEncoded)
{
    server.Answer("/q", "ok");
    connection.Get(server.URL("/q?name=a b&city=M\xC3\xBCnchen&t=\"<x>\""));
    auto r = server.Requests().at(0);
    EXPECT_EQ(r.params.find("name")->second, "a b");
    EXPECT_EQ(r.params.find("city")->second, "M\xC3\xBCnchen");
    EXPECT_EQ(r.params.find("t")->second, "\"<x>\"");
    EXPECT_EQ(EncodeUrl("http://h/p?a=%41 b"), "http://h/p?a=%41%20b");
}

TEST_F(ConnectionTest, RefusedConnectionFails)
{
    int port;
    {
        TRecordingServer closed;
        port = closed.Port();
    }
    EXPECT_THROW(connection.Get("http://127.0.0.1:" + std::to_string(port) + "/"), THTTPError);
}

TEST_F(ConnectionTest, DisconnectEndsAStalledTransferWithinASecond)
{
    server.Answer("/stall", TCannedAnswer{200, "late", {}, true});
    auto request = std::async(std::launch::async, [&] { return connection.Get(server.URL("/stall")); });
    ASSERT_TRUE(server.WaitForStall());
    auto start = std::chrono::steady_clock::now();
    connection.Disconnect();
    ASSERT_EQ(request.wait_for(std::chrono::milliseconds(1500)), std::future_status::ready);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_THROW(request.get(), THTTPError);
    server.Release();

    // A disconnect only breaks the transfer it interrupts: the connection is usable again.
    server.Answer("/after", "ok");
    EXPECT_EQ(connection.Get(server.URL("/after")), "ok");
}

TEST_F(ConnectionTest, DisconnectBetweenRequestsDoesNotStopTheNext)
{
    server.Answer("/ok", "ok");
    connection.Disconnect();
    EXPECT_EQ(connection.Get(server.URL("/ok")), "ok");
}

TEST(FormDataTest, UnreadableFileFailsBeforeSending)
{
    TFormData form;
    EXPECT_THROW(form.AddFile("logofile", "/nonexistent/dir/logo.jpg", "image/unknown"), QuillonError);
    EXPECT_TRUE(form.Parts().empty());
}

} // namespace
