#include "service/messages.h"
#include "service/uploadthread.h"
#include "support/recordingserver.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

using namespace quillon;
using namespace quillon::test;

namespace {

using Lines = std::vector<std::string>;
constexpr char kLogoLiteral[] = "\xFF\xD8\xFF\xE0 logo\0\r\n bytes";
const std::string kLogoBytes(kLogoLiteral, sizeof kLogoLiteral - 1);  // the NUL inside is part of it
const Lines kFirstUploadParts{"login", "password", "fakefield", "logofile"};
const Lines kLaterUploadParts{"login", "password", "logofile"};

class UploadTest : public ::testing::Test {
protected:
    UploadTest()
    {
        parameters.Set("uploadhost", server.Host());
        logoPath = dir.Write("Logo Directory/My logo.jpg", kLogoBytes).string();
    }

    std::unique_ptr<TUploadThread> MakeUpload(std::function<void(TUploadThread&)> onReset = {})
    {
        auto upload = std::make_unique<TUploadThread>(
            connection, parameters, memberStatus,
            [this, onReset](const std::function<void()>& reset) {
                ++resets;
                if (onReset)
                    onReset(*current);
                reset();
            },
            "ann", "pa ss", logoPath, nullptr);
        current = upload.get();
        return upload;
    }

    std::unique_ptr<TUploadThread> RunUpload(std::function<void(TUploadThread&)> onReset = {})
    {
        auto upload = MakeUpload(std::move(onReset));
        upload->Execute();
        return upload;
    }

    size_t RequestCount() const { return server.Requests().size(); }

    TRecordingServer server;
    TServiceParameters parameters;
    TTempDir dir;
    std::string logoPath;
    THTTPConnection connection;
    int memberStatus = -1;
    int resets = 0;
    TUploadThread* current = nullptr;
};

TEST_F(UploadTest, FirstUploadAsksMemberStatusThenALaterOneOnlyUploads)
{
    server.Answer("/memberstatus.php", "SUCCESS\r\n1\r\n0\r\n0\r\n");
    server.Answer("/upload.php", "SUCCESS\r\nhttp://wap.example/?id=123456789\r\n");

    auto first = RunUpload();
    EXPECT_EQ(first->Result, TWorkerResult::Success);
    EXPECT_EQ(first->AnswerText, "http://wap.example/?id=123456789");
    EXPECT_TRUE(first->WithdrawnURLs.empty());
    EXPECT_EQ(memberStatus, 1);
    EXPECT_EQ(resets, 1);

    auto second = RunUpload();
    EXPECT_EQ(second->Result, TWorkerResult::Success);
    EXPECT_EQ(resets, 2);

    auto r = server.Requests();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].path, "/memberstatus.php");
    EXPECT_EQ(r[0].PartNames(), (Lines{"login", "password", "fakefield"}));
    EXPECT_EQ(r[1].path, "/upload.php");
    EXPECT_EQ(r[1].PartNames(), kFirstUploadParts);
    EXPECT_EQ(r[2].path, "/upload.php");
    EXPECT_EQ(r[2].PartNames(), kLaterUploadParts);

    for (const auto& req : r) {
        EXPECT_EQ(req.method, "POST");
        EXPECT_EQ(req.parts[0].content, "ann");
        EXPECT_EQ(req.parts[1].content, "pa ss");
        EXPECT_TRUE(req.parts[0].filename.empty());
        EXPECT_TRUE(req.parts[0].contentType.empty());
    }
    EXPECT_EQ(r[0].parts[2].content, "qqq");
    EXPECT_EQ(r[1].parts[2].content, "qqq");
    for (const auto* file : {&r[1].parts[3], &r[2].parts[2]}) {
        EXPECT_EQ(file->filename, logoPath);
        EXPECT_EQ(file->contentType, "image/unknown");
        EXPECT_EQ(file->content, kLogoBytes);
    }
}

TEST_F(UploadTest, MemberStatusMinusOneMakesTheNextUploadAskAgain)
{
    server.Answer("/memberstatus.php", "SUCCESS\r\n-1\r\n0\r\n0");
    server.Answer("/upload.php", "SUCCESS\r\nhttp://wap.example/?id=1");
    RunUpload();
    RunUpload();
    auto r = server.Requests();
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[2].path, "/memberstatus.php");
    EXPECT_EQ(r[3].PartNames(), kFirstUploadParts);
}

TEST_F(UploadTest, AnswersAreReadIntoResultTextAndWithdrawnURLs)
{
    const std::string ok = "SUCCESS\r\n1\r\n0\r\n0";
    struct Case {
        const char* name;
        std::string memberAnswer;
        std::string uploadAnswer;
        int uploadStatus;
        TWorkerResult result;
        std::string text;
        Lines withdrawn;
        bool uploadSent;
        int memberStatusAfter;
    } cases[] = {
        {"lower-case keywords", "success\r\n7\r\n0\r\n0", "success\r\nhttp://u/?id=1", 200,
         TWorkerResult::Success, "http://u/?id=1", {}, true, 7},
        {"LF only", "SUCCESS\n1\n0\n0\n", "SUCCESS\nhttp://u/?id=2\nhttp://u/?id=a\nhttp://u/?id=b\n", 200,
         TWorkerResult::Success, "http://u/?id=2", {"http://u/?id=a", "http://u/?id=b"}, true, 1},
        {"CR only", "SUCCESS\r1\r0\r0", "SUCCESS\rhttp://u/?id=3\rhttp://u/?id=c", 200, TWorkerResult::Success,
         "http://u/?id=3", {"http://u/?id=c"}, true, 1},
        {"upload message with withdrawn URLs", ok, "MESSAGE\r\nUSER_IS_NOT_CONFIRMED\r\nhttp://u/?id=d", 200,
         TWorkerResult::ServiceMessage, "USER_IS_NOT_CONFIRMED", {"http://u/?id=d"}, true, 1},
        {"upload error", ok, "Error\r\nThe picture is too big.", 200, TWorkerResult::ServiceError,
         "The picture is too big.", {}, true, 1},
        // A failed upload keeps the text of the member status answer before it.
        {"single SUCCESS line", ok, "SUCCESS\r\n", 200, TWorkerResult::ConnectionFailed, "1", {}, true, 1},
        {"first line followed by a blank", ok, "SUCCESS \r\nhttp://u/?id=4\r\nhttp://u/?id=e", 200,
         TWorkerResult::ServiceError, kMsgUnrecognisedAnswer, {}, true, 1},
        {"unknown upload keyword", ok, "OK\r\nhttp://u/?id=5", 200, TWorkerResult::ServiceError,
         kMsgUnrecognisedAnswer, {}, true, 1},
        {"status 500", ok, "SUCCESS\r\nhttp://u/?id=6", 500, TWorkerResult::ConnectionFailed, "1", {}, true, 1},
        {"redirect", ok, "SUCCESS\r\nhttp://u/?id=7", 302, TWorkerResult::ConnectionFailed, "1", {}, true, 1},
        {"member status message", "MESSAGE\r\nWRONG_LOGIN_OR_PASSWORD", "", 200, TWorkerResult::ServiceMessage,
         "WRONG_LOGIN_OR_PASSWORD", {}, false, -1},
        {"member status error", "ERROR\r\nAccount locked.\r\nx", "", 200, TWorkerResult::ServiceError,
         "Account locked.", {}, false, -1},
        {"member status keyword with a blank", "SUCCESS \r\n1\r\n0\r\n0", "", 200, TWorkerResult::ServiceError,
         kMsgUnrecognisedAnswer, {}, false, -1},
        {"member status not an integer", "SUCCESS\r\none\r\n0\r\n0", "", 200, TWorkerResult::ConnectionFailed,
         "one", {}, false, -1},
        {"member status line 3 not an integer", "SUCCESS\r\n1\r\n0x\r\n0", "", 200,
         TWorkerResult::ConnectionFailed, "1", {}, false, -1},
        {"member status line 4 with a blank", "SUCCESS\r\n1\r\n0\r\n 0", "", 200, TWorkerResult::ConnectionFailed,
         "1", {}, false, -1},
        {"member status line 4 missing", "SUCCESS\r\n1\r\n0", "", 200, TWorkerResult::ConnectionFailed, "1", {},
         false, -1},
        {"member status single line", "SUCCESS", "", 200, TWorkerResult::ConnectionFailed, "", {}, false, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.Answer("/memberstatus.php", c.memberAnswer);
        server.Answer("/upload.php", c.uploadAnswer, c.uploadStatus);
        memberStatus = -1;
        size_t before = RequestCount();
        auto upload = RunUpload();
        EXPECT_EQ(upload->Result, c.result);
        EXPECT_EQ(upload->AnswerText, c.text);
        EXPECT_EQ(upload->WithdrawnURLs, c.withdrawn);
        EXPECT_EQ(RequestCount() - before, c.uploadSent ? 2u : 1u);
        EXPECT_EQ(memberStatus, c.memberStatusAfter);
    }
}

TEST_F(UploadTest, UnreadableFileFailsWithoutSendingTheUpload)
{
    server.Answer("/memberstatus.php", "SUCCESS\r\n1\r\n0\r\n0");
    logoPath = (dir.Path() / "gone.jpg").string();
    auto upload = MakeUpload();
    upload->Cancel();  // even after a cancel this is not a network failure
    upload->Execute();
    EXPECT_EQ(upload->Result, TWorkerResult::ConnectionFailed);
    EXPECT_EQ(RequestCount(), 1u);
    EXPECT_EQ(resets, 1);
}

TEST_F(UploadTest, CancelDuringAStalledRequestEndsWithinASecond)
{
    for (const char* stalledPath : {"/upload.php", "/memberstatus.php"}) {
        SCOPED_TRACE(stalledPath);
        TRecordingServer stalling;
        parameters.Set("uploadhost", stalling.Host());
        stalling.Answer("/memberstatus.php", "SUCCESS\r\n1\r\n0\r\n0");
        stalling.Answer("/upload.php", "SUCCESS\r\nhttp://u/?id=1");
        stalling.Answer(stalledPath, TCannedAnswer{200, "SUCCESS\r\nhttp://u/?id=1\r\n0\r\n0", {}, true});
        memberStatus = -1;
        auto upload = MakeUpload();
        auto running = std::async(std::launch::async, [&] { upload->Execute(); });
        ASSERT_TRUE(stalling.WaitForStall());
        auto start = std::chrono::steady_clock::now();
        upload->Cancel();
        ASSERT_EQ(running.wait_for(std::chrono::milliseconds(1500)), std::future_status::ready);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        EXPECT_EQ(upload->Result, TWorkerResult::Cancelled);
        stalling.Release();
    }
}

TEST_F(UploadTest, CancelAfterTheAnswerKeepsTheAnswersResult)
{
    server.Answer("/memberstatus.php", "SUCCESS\r\n1\r\n0\r\n0");
    struct Case {
        std::string answer;
        TWorkerResult result;
    } cases[] = {
        {"SUCCESS\r\nhttp://u/?id=1", TWorkerResult::Success},
        {"MESSAGE\r\nUSER_IS_NOT_CONFIRMED", TWorkerResult::ServiceMessage},
        {"SUCCESS", TWorkerResult::ConnectionFailed},  // a short answer is no network failure
    };
    for (const auto& c : cases) {
        server.Answer("/upload.php", c.answer);
        // The stop arrives while the worker waits for the main thread's reset.
        auto upload = RunUpload([](TUploadThread& u) { u.Cancel(); });
        EXPECT_TRUE(upload->CancelRequested);
        EXPECT_EQ(upload->Result, c.result) << c.answer;
    }
}

} // namespace
