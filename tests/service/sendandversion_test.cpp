#include "service/messages.h"
#include "service/sendtofriendthread.h"
#include "service/versioncheckthread.h"
#include "support/recordingserver.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::test;

namespace {

class ServiceWorkerTest : public ::testing::Test {
protected:
    ServiceWorkerTest()
    {
        parameters.Set("sendmailhost", server.Host());
        parameters.Set("uploadhost", server.Host());
    }

    std::unique_ptr<TSendToFriendThread> RunSend(const std::string& comments = "", const std::string& name = "")
    {
        auto send = std::make_unique<TSendToFriendThread>(
            connection, parameters,
            [this](const std::function<void()>& reset) {
                ++resets;
                reset();
            },
            "guest", "pw", "friend@example.com", comments, name);
        send->Execute();
        return send;
    }

    TRecordingServer server;
    TServiceParameters parameters;
    THTTPConnection connection;
    int resets = 0;
};

TEST_F(ServiceWorkerTest, SendToFriendPostsTheFivePartsInOrder)
{
    server.Answer("/sendtofriend.php", "SUCCESS");
    auto send = RunSend("Look at this!\r\nBye", "Ann");
    EXPECT_EQ(send->Result, TWorkerResult::Success);
    EXPECT_EQ(resets, 1);

    auto r = server.Requests().at(0);
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.path, "/sendtofriend.php");
    EXPECT_EQ(r.version, "HTTP/1.0");
    std::vector<std::pair<std::string, std::string>> parts;
    for (const auto& p : r.parts) {
        parts.emplace_back(p.name, p.content);
        EXPECT_TRUE(p.filename.empty());
    }
    EXPECT_EQ(parts, (std::vector<std::pair<std::string, std::string>>{{"login", "guest"},
                                                                       {"password", "pw"},
                                                                       {"address", "friend@example.com"},
                                                                       {"comments", "Look at this!\r\nBye"},
                                                                       {"sendername", "Ann"}}));
}

TEST_F(ServiceWorkerTest, SendToFriendAnswers)
{
    struct Case {
        std::string body;
        int status;
        TWorkerResult result;
        std::string text;
    } cases[] = {
        {"SUCCESS", 200, TWorkerResult::Success, ""},
        {"success\r\n", 200, TWorkerResult::Success, ""},
        {"MESSAGE\r\nCOULD_NOT_SEND_MAIL", 200, TWorkerResult::ServiceMessage, "COULD_NOT_SEND_MAIL"},
        {"message\nWRONG_LOGIN_OR_PASSWORD\n", 200, TWorkerResult::ServiceMessage, "WRONG_LOGIN_OR_PASSWORD"},
        {"ERROR\rMail service is down.", 200, TWorkerResult::ServiceError, "Mail service is down."},
        {"MESSAGE", 200, TWorkerResult::ServiceError, kMsgSendLinkFailed},
        {"ERROR\r\n", 200, TWorkerResult::ServiceError, kMsgSendLinkFailed},
        {"SENT\r\nok", 200, TWorkerResult::ServiceError, kMsgSendLinkFailed},
        {"SUCCESS \r\n", 200, TWorkerResult::ServiceError, kMsgSendLinkFailed},
        {"", 200, TWorkerResult::ServiceError, kMsgSendLinkFailed},
        {"SUCCESS", 500, TWorkerResult::ServiceError,
         "The service answered with an error (HTTP 500 Internal Server Error). Please try again later."},
        {"ERROR\r\nbusy", 503, TWorkerResult::ServiceError,
         "The service answered with an error (HTTP 503 Service Unavailable). Please try again later."},
        {"", 599, TWorkerResult::ServiceError, "The service answered with an error (HTTP 599). Please try again later."},
    };
    for (const auto& c : cases) {
        server.Answer("/sendtofriend.php", c.body, c.status);
        auto send = RunSend();
        EXPECT_EQ(send->Result, c.result) << c.body << " " << c.status;
        EXPECT_EQ(send->AnswerText, c.text) << c.body << " " << c.status;
    }
    EXPECT_EQ(resets, static_cast<int>(std::size(cases)));
}

TEST_F(ServiceWorkerTest, SendToFriendWithoutAServerFails)
{
    parameters.Set("sendmailhost", "127.0.0.1:1");
    auto send = RunSend();
    EXPECT_EQ(send->Result, TWorkerResult::ServiceError);
    EXPECT_EQ(send->AnswerText, kMsgSendLinkFailed);
    EXPECT_EQ(resets, 1);
}

TEST_F(ServiceWorkerTest, VersionCheckOffersAnyOtherVersionAndStaysSilentOnFailure)
{
    struct Case {
        std::string body;
        int status;
        std::string version;
        bool offered;
    } cases[] = {
        {"1.1.2", 200, "1.1.2", false},
        {"1.1.3", 200, "1.1.3", true},
        {"1.0.9", 200, "1.0.9", true},
        {"1.1.2\r\n", 200, "1.1.2\r\n", true},
        {"", 200, "", true},
        {"1.1.3", 404, "1.1.2", false},
        {"1.1.3", 500, "1.1.2", false},
    };
    for (const auto& c : cases) {
        server.Answer("/curversion.php", c.body, c.status);
        TNewVersionCheckThread check(connection, parameters);
        check.Execute();
        EXPECT_EQ(check.VersionText, c.version) << c.body << " " << c.status;
        EXPECT_EQ(NewVersionOffered(check.VersionText), c.offered) << c.body << " " << c.status;
    }
    auto r = server.Requests();
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(r[0].method, "GET");
    EXPECT_EQ(r[0].path, "/curversion.php");
    EXPECT_TRUE(r[0].params.empty());
}

TEST_F(ServiceWorkerTest, VersionCheckWithoutAServerIsSilent)
{
    parameters.Set("uploadhost", "127.0.0.1:1");
    TNewVersionCheckThread check(connection, parameters);
    check.Execute();
    EXPECT_FALSE(NewVersionOffered(check.VersionText));
}

} // namespace
