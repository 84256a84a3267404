// Registration, confirmation and what the service keeps of a password.
#include "servicefixture.h"
#include "support/tempdir.h"

#include <sqlite3.h>

#include <atomic>
#include <ctime>

#include <gtest/gtest.h>


using namespace quillon::server;
using namespace quillon::server::test;

namespace {

httplib::Params Form(const std::string& login, const std::string& password, const std::string& password2,
                     const std::string& email)
{
    return {{"login", login}, {"password", password}, {"password2", password2}, {"email", email}};
}

std::string ConfirmationLink(const std::string& mail)
{
    const std::string marker = "/confirm.php?token=";
    size_t at = mail.find(marker);
    size_t start = mail.rfind("http://", at);
    if (at == std::string::npos || start == std::string::npos)
        return "";
    std::string token = mail.substr(at + marker.size(), 32);
    EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos) << token;
    EXPECT_TRUE(mail.compare(at + marker.size() + 32, 2, "\r\n") == 0);
    return mail.substr(start, at + marker.size() + 32 - start);
}

std::string UploadAnswer(TRunningService& service, const std::string& login, const std::string& password)
{
    auto res = service.Client().Post("/upload.php", httplib::MultipartFormDataItems{
                                                        {"login", login, "", ""},
                                                        {"password", password, "", ""},
                                                        {"logofile", FakeJpeg("r"), "/tmp/x.jpg", "image/unknown"},
                                                    });
    return res ? res->body : "no answer";
}

TEST(Accounts, RegisteredAccountIsUnconfirmedUntilItsLinkIsFollowed)
{
    TRunningService service;
    auto res = service.Client().Post("/register.php", Form("Nina", "pa$$w0rd", "pa$$w0rd", "nina@example.org"));
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_NE(res->body.find("id=\"created\""), std::string::npos);
    EXPECT_EQ(UploadAnswer(service, "nina", "pa$$w0rd"), "MESSAGE\r\nUSER_IS_NOT_CONFIRMED\r\n");

    auto mails = service.Outbox();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_NE(mails[0].find("To: nina@example.org\r\n"), std::string::npos);
    std::string link = ConfirmationLink(mails[0]);
    std::string target = link.substr(service.PublicUrl().size());
    auto confirmed = service.Client().Get(target);
    ASSERT_TRUE(confirmed);
    EXPECT_EQ(confirmed->status, 200);
    EXPECT_NE(confirmed->body.find("id=\"confirmed\""), std::string::npos);
    EXPECT_EQ(UploadAnswer(service, "nina", "pa$$w0rd").rfind("SUCCESS\r\n", 0), 0u);
    EXPECT_EQ(service.Client().Get(target)->status, 404) << "a link works once";

    // Without a relay the link is also in the log; the log never holds a query string.
    bool linkLogged = false;
    for (const std::string& line : service.Log()) {
        EXPECT_EQ(line.find("pa$$w0rd"), std::string::npos) << line;
        if (line.find(link) != std::string::npos)
            linkLogged = true;
        else
            EXPECT_EQ(line.find("token="), std::string::npos) << line;
    }
    EXPECT_TRUE(linkLogged);
}

TEST(Accounts, PasswordsAreStoredAsSlowSaltedHashesAndNeverLogged)
{
    TRunningService service;
    service.AddMember("olga", "same-pw");
    service.AddMember("pete", "same-pw");
    service.Client().Get("/wap/?login=olga&password=same-pw");
    std::string hashOlga = service.Store().FindAccount("olga")->passwordHash;
    std::string hashPete = service.Store().FindAccount("pete")->passwordHash;
    EXPECT_EQ(hashOlga.rfind("$argon2id$", 0), 0u);
    EXPECT_NE(hashOlga, hashPete) << "salted";

    // Nothing in the data folder holds the password in plain text.
    for (const auto& e : std::filesystem::recursive_directory_iterator(service.DataDir())) {
        if (!e.is_regular_file())
            continue;
        std::ifstream in(e.path(), std::ios::binary);
        std::string content((std::istreambuf_iterator<char>(in)), {});
        EXPECT_EQ(content.find("same-pw"), std::string::npos) << e.path();
    }
    EXPECT_TRUE(service.WaitForLog("GET /wap/ 200"));
    for (const std::string& line : service.Log())
        EXPECT_EQ(line.find("same-pw"), std::string::npos) << line;
}

TEST(Accounts, RegistrationRefusesBadInput)
{
    TRunningService service;
    struct Case {
        httplib::Params form;
        const char* error;
    } cases[] = {
        {Form("", "pw123456", "pw123456", "a@b.c"), "Choose a login"},
        {Form("with space", "pw123456", "pw123456", "a@b.c"), "Choose a login"},
        {Form("../../etc", "pw123456", "pw123456", "a@b.c"), "Choose a login"},
        {Form(std::string(33, 'x'), "pw123456", "pw123456", "a@b.c"), "Choose a login"},
        {Form("newbie", "seven77", "seven77", "a@b.c"), "Choose a password"},
        {Form("newbie", "tab\t123456", "tab\t123456", "a@b.c"), "Choose a password"},
        {Form("newbie", "caf\xC3\xA9-123456", "caf\xC3\xA9-123456", "a@b.c"), "Choose a password"},
        {Form("newbie", std::string(65, 'p'), std::string(65, 'p'), "a@b.c"), "Choose a password"},
        {Form("newbie", "pw123456", "pw1234567", "a@b.c"), "differ"},
        {Form("newbie", "pw123456", "pw123456", "not-an-address"), "valid e-mail"},
        {Form("newbie", "pw123456", "pw123456", "a@b.c\r\nBcc: x@y.z"), "valid e-mail"},
        {{{"login", "newbie"}}, "Choose a password"},
    };
    for (const Case& c : cases) {
        auto res = service.Client().Post("/register.php", c.form);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 400);
        EXPECT_NE(res->body.find(c.error), std::string::npos) << c.error;
    }
    EXPECT_FALSE(service.Store().FindAccount("newbie"));
    EXPECT_TRUE(service.Outbox().empty());
    // The form keeps the login typed but never a password.
    auto res = service.Client().Post("/register.php", Form("newbie", "pw123456", "other123", "a@b.c"));
    EXPECT_NE(res->body.find("value=\"newbie\""), std::string::npos);
    EXPECT_EQ(res->body.find("pw123456"), std::string::npos);
}

TEST(Accounts, PasswordOfAnyPrintableCharactersOpensTheMemberPageEncoded)
{
    TRunningService service;
    const std::string password = "a b&c#d%e+f=g?";
    auto res = service.Client().Post("/register.php", Form("punct", password, password, "p@example.org"));
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200) << res->body;
    std::string mail = service.Outbox().at(0);
    std::string link = ConfirmationLink(mail);
    ASSERT_EQ(service.Client().Get(link.substr(service.PublicUrl().size()))->status, 200);
    EXPECT_EQ(UploadAnswer(service, "punct", password).rfind("SUCCESS\r\n", 0), 0u);
    auto page = service.Client().Get("/wap/?login=punct&password=a%20b%26c%23d%25e%2Bf%3Dg%3F");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("Pictures of punct"), std::string::npos);
}

std::string RegisterForm(const std::string& login, const std::string& email)
{
    return "login=" + login + "&password=pw123456&password2=pw123456&email=" + email;
}

TEST(Accounts, TakenLoginGetsTheNewAccountsPageAndOnlyTheAddressLearnsWhy)
{
    TRunningService service;
    service.AddMember("taken", "old-password");
    const std::string hashBefore = service.Store().FindAccount("taken")->passwordHash;
    TRawAnswer fresh = PostFrom(service.Port(), "127.0.4.1", "/register.php", RegisterForm("Fresh", "f@example.org"));
    TRawAnswer taken = PostFrom(service.Port(), "127.0.4.2", "/register.php", RegisterForm("TAKEN", "t@example.org"));
    EXPECT_EQ(fresh.status, 200);
    EXPECT_EQ(taken.status, fresh.status);
    std::string expected = fresh.body;
    expected.replace(expected.find("Fresh"), 5, "TAKEN");
    expected.replace(expected.find("f@example.org"), 13, "t@example.org");
    EXPECT_EQ(taken.body, expected);

    auto mails = service.Outbox();
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_NE(mails[1].find("To: t@example.org\r\n"), std::string::npos);
    EXPECT_NE(mails[1].find("TAKEN with this address, but that login is taken"), std::string::npos) << mails[1];
    EXPECT_EQ(mails[1].find("token="), std::string::npos);
    auto account = service.Store().FindAccount("taken");
    EXPECT_EQ(account->passwordHash, hashBefore);
    EXPECT_TRUE(account->confirmed);
}

TEST(Accounts, RegistrationMailsAreLimitedPerAddressAndPerSourceEachDay)
{
    std::atomic<std::int64_t> now{std::time(nullptr)};
    TServiceConfig config;
    config.clock = [&] { return now.load(); };
    TRunningService service(config);
    auto reg = [&](const std::string& source, const std::string& login, const std::string& email) {
        return PostFrom(service.Port(), source, "/register.php", RegisterForm(login, email)).status;
    };
    // One victim's address, named from four sources, taken login or not: three mails.
    service.AddMember("known", "whatever1");
    EXPECT_EQ(reg("127.0.5.1", "a1", "Victim@example.org"), 200);
    EXPECT_EQ(reg("127.0.5.2", "known", "victim@example.org"), 200);
    EXPECT_EQ(reg("127.0.5.3", "a3", "victim@example.org"), 200);
    EXPECT_EQ(reg("127.0.5.4", "a4", "VICTIM@example.org"), 429);
    EXPECT_EQ(reg("127.0.5.4", "known", "victim@example.org"), 429) << "the same answer for a taken login";
    EXPECT_FALSE(service.Store().FindAccount("a4"));
    EXPECT_EQ(service.Outbox().size(), 3u);

    // One source naming many addresses: ten mails.
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(reg("127.0.6.1", "b" + std::to_string(i), "b" + std::to_string(i) + "@example.org"), 200) << i;
    EXPECT_EQ(reg("127.0.6.1", "b10", "b10@example.org"), 429);
    EXPECT_EQ(reg("127.0.6.2", "b10", "b10@example.org"), 200) << "another source";
    EXPECT_EQ(service.Outbox().size(), 14u);

    // A day later both may send again.
    now += 24 * 3600;
    EXPECT_EQ(reg("127.0.5.4", "a4", "victim@example.org"), 200);
    EXPECT_EQ(reg("127.0.6.1", "b11", "b11@example.org"), 200);
}

TEST(Accounts, UnconfirmedAccountsAreRemovedAfterTwoDays)
{
    quillon::test::TTempDir data;
    std::atomic<std::int64_t> now{std::time(nullptr)};
    TServiceConfig config;
    config.dataDir = data.Path() / "data";
    config.clock = [&] { return now.load(); };
    {
        TRunningService service(config);
        service.AddMember("kept", "whatever1");
        service.AddMember("early", "whatever1", false);
        EXPECT_EQ(PostFrom(service.Port(), "127.0.7.1", "/register.php", RegisterForm("squatter", "s@example.org")).status,
                  200);
        now += 47 * 3600;
        EXPECT_EQ(PostFrom(service.Port(), "127.0.7.1", "/register.php", RegisterForm("other", "o@example.org")).status,
                  200);
        EXPECT_TRUE(service.Store().FindAccount("squatter")) << "not yet";
        now += 2 * 3600;
        // A registration clears them away before it looks whether its login is taken.
        EXPECT_EQ(PostFrom(service.Port(), "127.0.7.1", "/register.php", RegisterForm("squatter", "n@example.org")).status,
                  200);
        EXPECT_FALSE(service.Store().FindAccount("early"));
        auto mails = service.Outbox();
        EXPECT_NE(mails.back().find("To: n@example.org"), std::string::npos);
        EXPECT_NE(mails.back().find("token="), std::string::npos) << "a confirmation, the login was free again";
    }
    now += 49 * 3600;
    // And a start clears them too.
    TRunningService service(config);
    EXPECT_FALSE(service.Store().FindAccount("squatter"));
    EXPECT_FALSE(service.Store().FindAccount("other"));
    EXPECT_TRUE(service.Store().FindAccount("kept"));
    EXPECT_TRUE(service.Store().FindAccount("guest"));
}

TEST(Accounts, FreshDataFolderHoldsTheGuestAccountAlone)
{
    TRunningService service;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((service.DataDir() / "quillon.db").c_str(), &db), SQLITE_OK);
    sqlite3_stmt* q = nullptr;
    sqlite3_prepare_v2(db, "SELECT login FROM accounts", -1, &q, nullptr);
    std::vector<std::string> logins;
    while (sqlite3_step(q) == SQLITE_ROW)
        logins.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(q, 0)));
    sqlite3_finalize(q);
    sqlite3_close(db);
    EXPECT_EQ(logins, std::vector<std::string>{"guest"});
}

} // namespace

namespace {

TEST(Addresses, GivenPublicUrlStartsEveryUrlHandedOut)
{
    TServiceConfig config;
    config.publicUrl = "https://phones.example.org:9443";
    TRunningService service(config);
    EXPECT_EQ(UploadAnswer(service, "guest", "x").rfind("SUCCESS\r\nhttps://phones.example.org:9443/guest/?id=", 0),
              0u);
    auto list = service.Client().Get("/addresses.txt");
    ASSERT_TRUE(list);
    EXPECT_NE(list->body.find("wap=https://phones.example.org:9443/wap/\r\n"), std::string::npos);
}

} // namespace
