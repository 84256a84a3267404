// The desktop program's own workers against the service: the four requests as the
// program sends them, and what the URLs it gets back serve.
#include "servicefixture.h"

#include "datafiles/parameters.h"
#include "service/messages.h"
#include "service/sendtofriendthread.h"
#include "service/serviceaddresses.h"
#include "service/uploadthread.h"
#include "service/versioncheckthread.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::server;
using namespace quillon::server::test;

namespace {

class ContractTest : public ::testing::Test {
protected:
    explicit ContractTest(TServiceConfig config = {}) : service(config)
    {
        parameters.Set("uploadhost", service.Host());
        parameters.Set("sendmailhost", service.Host());
    }

    std::unique_ptr<TUploadThread> Upload(const std::string& login, const std::string& password,
                                          const std::string& bytes)
    {
        std::string path = files.Write("Temp/" + std::to_string(++uploads) + " logo.jpg", bytes).string();
        auto upload = std::make_unique<TUploadThread>(
            connection, parameters, memberStatus, [](const std::function<void()>& f) { f(); }, login, password,
            path, nullptr);
        upload->Execute();
        return upload;
    }

    // What a phone gets at the URL.
    httplib::Result Fetch(const std::string& url)
    {
        std::string prefix = service.PublicUrl();
        EXPECT_EQ(url.rfind(prefix, 0), 0u) << url;
        return service.Client().Get(url.substr(prefix.size()));
    }

    TRunningService service;
    quillon::test::TTempDir files;
    TServiceParameters parameters;
    THTTPConnection connection;
    int memberStatus = -1;
    int uploads = 0;
};

TEST_F(ContractTest, GuestUploadIsServedByteForByteAndListedInTheGallery)
{
    std::string logo = FakeJpeg("guest");
    auto up = Upload("Guest", "anything", logo);
    ASSERT_EQ(up->Result, TWorkerResult::Success) << up->AnswerText;
    EXPECT_EQ(memberStatus, 0);
    std::string guestBase = service.PublicUrl() + "/guest/";
    ASSERT_EQ(up->AnswerText.rfind(guestBase + "?id=", 0), 0u) << up->AnswerText;
    std::string id = up->AnswerText.substr(guestBase.size() + 4);
    EXPECT_EQ(id.size(), 20u);
    EXPECT_TRUE(up->WithdrawnURLs.empty());

    auto picture = Fetch(up->AnswerText);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->status, 200);
    EXPECT_EQ(picture->body, logo);
    EXPECT_EQ(picture->get_header_value("Content-Type"), "image/jpeg");

    auto gallery = Fetch(guestBase);
    ASSERT_TRUE(gallery);
    EXPECT_NE(gallery->body.find("/guest/?id=" + id), std::string::npos);
}

TEST_F(ContractTest, MemberUploadsAreListedNewestFirstAndServedWithTheDesktopsFullUrl)
{
    service.AddMember("ann", "s3cret!");
    auto first = Upload("ann", "s3cret!", FakeJpeg("one"));
    auto second = Upload("ann", "s3cret!", FakeJpeg("two"));
    ASSERT_EQ(first->Result, TWorkerResult::Success) << first->AnswerText;
    ASSERT_EQ(second->Result, TWorkerResult::Success) << second->AnswerText;
    EXPECT_EQ(memberStatus, 1);
    std::string wapBase = service.PublicUrl() + "/wap/";
    ASSERT_EQ(second->AnswerText.rfind(wapBase + "?id=", 0), 0u);

    // The upload panel's full URL appends the credentials to the phone URL.
    auto full = Fetch(second->AnswerText + "&login=ann&password=s3cret!");
    ASSERT_TRUE(full);
    EXPECT_EQ(full->body, FakeJpeg("two"));
    // A member's picture is not a guest picture.
    std::string id = second->AnswerText.substr(second->AnswerText.find("?id=") + 4);
    EXPECT_EQ(Fetch(service.PublicUrl() + "/guest/?id=" + id)->status, 404);

    auto page = Fetch(wapBase + "?login=ann&password=s3cret!");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    // Its address holds the password.
    EXPECT_EQ(page->get_header_value("Referrer-Policy"), "no-referrer");
    EXPECT_EQ(page->get_header_value("Cache-Control"), "no-store");
    size_t newer = page->body.find("?id=" + id);
    size_t older = page->body.find(first->AnswerText.substr(first->AnswerText.find("?id=")));
    ASSERT_NE(newer, std::string::npos);
    ASSERT_NE(older, std::string::npos);
    EXPECT_LT(newer, older);
    EXPECT_EQ(Fetch(wapBase + "?login=ann&password=wrong")->status, 403);
}

TEST_F(ContractTest, RefusedAccountsGetTheKeywordsAndNoUpload)
{
    service.AddMember("bob", "right1");
    service.AddMember("carl", "right2", /*confirmed=*/false);
    struct Case {
        const char* login;
        const char* password;
        const char* keyword;
    } cases[] = {
        {"bob", "wrong", kWrongLoginOrPassword},
        {"nobody", "right1", kWrongLoginOrPassword},
        {"carl", "right2", kUserIsNotConfirmed},
        {"carl", "wrong", kWrongLoginOrPassword},
    };
    for (const Case& c : cases) {
        memberStatus = -1;
        auto up = Upload(c.login, c.password, FakeJpeg("x"));
        EXPECT_EQ(up->Result, TWorkerResult::ServiceMessage) << c.login;
        EXPECT_EQ(up->AnswerText, c.keyword) << c.login;
        EXPECT_EQ(memberStatus, -1);
    }
    EXPECT_TRUE(std::filesystem::is_empty(service.DataDir() / "pictures"));
}

TEST_F(ContractTest, MemberStatusAnswersFourLinesAndALaterUploadIsAnsweredToo)
{
    service.AddMember("dora", "pw1234");
    auto res = service.Client().Post("/memberstatus.php",
                                     httplib::MultipartFormDataItems{{"login", "dora", "", ""},
                                                                     {"password", "pw1234", "", ""},
                                                                     {"fakefield", "qqq", "", ""}});
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body, "SUCCESS\r\n1\r\n0\r\n20\r\n");
    EXPECT_EQ(Upload("dora", "pw1234", FakeJpeg("a"))->Result, TWorkerResult::Success);
    // memberStatus is now known: the next upload sends login, password and the file only.
    EXPECT_EQ(Upload("dora", "pw1234", FakeJpeg("b"))->Result, TWorkerResult::Success);
    EXPECT_EQ(service.Store().CountPictures(service.Store().FindAccount("dora")->id), 2);
}

class WithdrawalTest : public ContractTest {
protected:
    static TServiceConfig KeepTwo()
    {
        TServiceConfig c;
        c.keepPerAccount = 2;
        return c;
    }
    WithdrawalTest() : ContractTest(KeepTwo()) {}
};

TEST_F(WithdrawalTest, TheOldestPictureBeyondTheLimitIsWithdrawnOnTheNextUpload)
{
    service.AddMember("eve", "pw1234");
    std::vector<std::string> urls;
    for (int i = 0; i < 4; ++i) {
        auto up = Upload("eve", "pw1234", FakeJpeg(std::to_string(i)));
        ASSERT_EQ(up->Result, TWorkerResult::Success);
        urls.push_back(up->AnswerText);
        // Fetched once, so a withdrawn picture must also leave what remembers it.
        EXPECT_EQ(Fetch(up->AnswerText)->status, 200);
        if (i < 2)
            EXPECT_TRUE(up->WithdrawnURLs.empty());
        else
            EXPECT_EQ(up->WithdrawnURLs, std::vector<std::string>{urls[i - 2]});
    }
    EXPECT_EQ(Fetch(urls[0])->status, 404);
    EXPECT_EQ(Fetch(urls[1])->status, 404);
    EXPECT_EQ(Fetch(urls[3])->body, FakeJpeg("3"));
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(service.DataDir() / "pictures"))
        ++files;
    EXPECT_EQ(files, 2u);
}

TEST_F(ContractTest, VersionCheckSeesTheProgramsOwnVersion)
{
    TNewVersionCheckThread check(connection, parameters);
    check.VersionText = "not asked";
    check.Execute();
    EXPECT_EQ(check.VersionText, "1.1.2");
    EXPECT_FALSE(NewVersionOffered(check.VersionText));
}

TEST_F(ContractTest, SendToFriendWritesTheMailToTheOutboxOrRefusesABadAddress)
{
    auto send = [&](const std::string& address, const std::string& name) {
        TSendToFriendThread t(connection, parameters, [](const std::function<void()>& f) { f(); }, "guest", "pw",
                              address, "Look at this!\r\nBye", name);
        t.Execute();
        return std::make_pair(t.Result, t.AnswerText);
    };
    EXPECT_EQ(send("friend@example.com", "Zoë").first, TWorkerResult::Success);
    auto mails = service.Outbox();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_NE(mails[0].find("To: friend@example.com\r\n"), std::string::npos);
    EXPECT_NE(mails[0].find("Look at this!\r\nBye\r\n"), std::string::npos);
    EXPECT_NE(mails[0].find("Subject: =?UTF-8?B?"), std::string::npos);

    // The program checks addresses too, but the service must not trust it.
    for (const char* bad : {"", "no-at-sign", "a@b", "x@y.z\r\nBcc: victim@example.com", "a@b.c, d@e.f"}) {
        auto [result, text] = send(bad, "Zoë");
        EXPECT_EQ(result, TWorkerResult::ServiceMessage) << bad;
        EXPECT_EQ(text, kCouldNotSendMail) << bad;
    }
    EXPECT_EQ(service.Outbox().size(), 1u);
    service.AddMember("fred", "pw1234");
    TSendToFriendThread wrong(connection, parameters, [](const std::function<void()>& f) { f(); }, "fred", "nope",
                              "friend@example.com", "", "");
    wrong.Execute();
    EXPECT_EQ(wrong.AnswerText, kWrongLoginOrPassword);
}

} // namespace

namespace {

TEST_F(ContractTest, ServiceNamesTheAddressesAPhoneReachesItBy)
{
    TServiceAddresses local = ServiceAddressesForHost(service.Host());
    EXPECT_EQ(local.guestGalleryBase, "http://" + service.Host() + "/guest/");
    auto res = service.Client().Get(kAddressesPath);
    ASSERT_TRUE(res);
    TServiceAddresses got = ParseServiceAddresses(res->body + "junk line\nwap=ftp://elsewhere/\nother=http://x/\n", local);
    const std::string base = service.PublicUrl();
    EXPECT_EQ(got.wapAccessBase, base + "/wap/");
    EXPECT_EQ(got.guestGalleryBase, base + "/guest/");
    EXPECT_EQ(got.productSite, base + "/");
    EXPECT_EQ(got.faq, base + "/faq.php");
    EXPECT_EQ(got.registerPage, base + "/register.php");
    EXPECT_EQ(got.setupDownload, base + "/download.php");
    // Each address is a page the service serves.
    for (const std::string& url : {got.wapAccessBase, got.guestGalleryBase, got.productSite, got.faq,
                                   got.registerPage, got.setupDownload}) {
        auto page = Fetch(url);
        ASSERT_TRUE(page) << url;
        EXPECT_EQ(page->status, 200) << url;
        EXPECT_NE(page->get_header_value("Content-Type").find("text/html"), std::string::npos) << url;
    }
    // A guest upload's URL starts with the guest gallery base URL, a member's does not.
    service.AddMember("gina", "pw1234");
    EXPECT_EQ(Upload("guest", "x", FakeJpeg("g"))->AnswerText.rfind(got.guestGalleryBase, 0), 0u);
    memberStatus = -1;
    EXPECT_EQ(Upload("gina", "pw1234", FakeJpeg("m"))->AnswerText.rfind(got.guestGalleryBase, 0), std::string::npos);
}

} // namespace
