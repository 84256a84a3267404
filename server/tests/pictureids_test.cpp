// Phone addresses that cannot be guessed: long random identifiers, the numbers handed out
// before still serving, and sources that keep missing slowed down.
#include "servicefixture.h"
#include "sqlitefolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>

using namespace quillon::server;
using namespace quillon::server::test;

namespace {

using Items = httplib::MultipartFormDataItems;

std::string UploadAnswer(TRunningService& service, const std::string& login, const std::string& bytes)
{
    auto res = service.Client().Post("/upload.php", Items{{"login", login, "", ""},
                                                          {"password", "pw1234", "", ""},
                                                          {"logofile", bytes, "l.jpg", "image/unknown"}});
    return res ? res->body : "";
}

std::string RawGet(const TRunningService& service, const std::string& path, const char* source)
{
    return RawExchange(service.Port(), "GET " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", source);
}

TEST(PictureIds, NewPhoneUrlsCarryLongRandomIdsAndServe)
{
    TRunningService service;
    service.AddMember("mia", "pw1234");
    const std::regex form(R"(SUCCESS\r\n(http://[^/]+/(guest|wap)/\?id=([a-z2-7]{20}))\r\n)");
    std::set<std::string> ids;
    for (const char* login : {"guest", "mia", "guest", "mia"}) {
        std::string logo = FakeJpeg(std::string(login) + std::to_string(ids.size()));
        std::string answer = UploadAnswer(service, login, logo);
        std::smatch m;
        ASSERT_TRUE(std::regex_search(answer, m, form)) << answer;
        EXPECT_EQ(m[2], std::string(login) == "guest" ? "guest" : "wap");
        ids.insert(m[3]);
        std::string path = m[1].str().substr(service.PublicUrl().size());
        auto res = service.Client().Get(path);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200) << path;
        EXPECT_EQ(res->body, logo);
        // Typed in on a phone in capitals, it still names the picture.
        std::string upper = path;
        for (size_t i = upper.find("id=") + 3; i < upper.size(); ++i)
            upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(upper[i])));
        EXPECT_EQ(service.Client().Get(upper)->status, 200) << upper;
    }
    EXPECT_EQ(ids.size(), 4u);
}

TEST(PictureIds, NumericIdsOfAnEarlierStoreKeepServingAndAreWithdrawnInTurn)
{
    const std::string oldId = "123456789012";
    const std::string oldLogo = FakeJpeg("from before");
    TServiceConfig config;
    config.keepGuest = 2;
    TRunningService service(config, [&](const auto& dir) { WriteUnversionedFolder(dir, "INTEGER", oldId, oldLogo); });

    auto old = service.Client().Get("/guest/?id=" + oldId);
    ASSERT_TRUE(old);
    EXPECT_EQ(old->status, 200);
    EXPECT_EQ(old->body, oldLogo);
    EXPECT_NE(service.Client().Get("/guest/")->body.find("/guest/?id=" + oldId), std::string::npos);

    // The old picture is the oldest of three: the second new upload withdraws it, under
    // the address it was handed out with.
    std::string first = UploadAnswer(service, "guest", FakeJpeg("new 1"));
    EXPECT_EQ(first.find(oldId), std::string::npos) << first;
    std::string second = UploadAnswer(service, "guest", FakeJpeg("new 2"));
    EXPECT_NE(second.find("\r\n" + service.PublicUrl() + "/guest/?id=" + oldId + "\r\n"), std::string::npos)
        << second;
    EXPECT_EQ(service.Client().Get("/guest/?id=" + oldId)->status, 404);
    EXPECT_EQ(service.Client().Get("/guest/?id=" + IdIn(first))->status, 200);
}

TEST(PictureIds, ASourceThatKeepsMissingIsRefusedAtOnceWhileOthersAreServed)
{
    TRunningService service;
    const std::string logo = FakeJpeg("real");
    const std::string path = "/guest/?id=" + IdIn(UploadAnswer(service, "guest", logo));

    int refusedAt = -1;
    for (int i = 0; i < 40 && refusedAt < 0; ++i) {
        std::string answer = RawGet(service, "/guest/?id=" + NewPictureId(), "127.0.0.1");
        if (answer.rfind("HTTP/1.1 429 ", 0) == 0)
            refusedAt = i;
        else
            ASSERT_EQ(answer.rfind("HTTP/1.1 404 ", 0), 0u) << i << ": " << answer;
    }
    ASSERT_GT(refusedAt, 3) << "a few mistyped addresses are not a guesser";
    ASSERT_LT(refusedAt, 40) << "guessing was never slowed down";

    // The refusal says when to come back, and covers hits too: otherwise its answers
    // would still tell a right guess from a wrong one.
    std::string refused = RawGet(service, path, "127.0.0.1");
    EXPECT_EQ(refused.rfind("HTTP/1.1 429 ", 0), 0u) << refused;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(refused, m, std::regex(R"(\r\nRetry-After: (\d+)\r\n)"))) << refused;
    EXPECT_GE(std::stoi(m[1]), 1);
    EXPECT_LE(std::stoi(m[1]), 60);

    // Another source is not held up by it.
    std::string served = RawGet(service, path, "127.0.0.2");
    EXPECT_EQ(served.rfind("HTTP/1.1 200 ", 0), 0u) << served;
    EXPECT_NE(served.find(logo), std::string::npos);
    EXPECT_EQ(RawGet(service, "/guest/?id=" + NewPictureId(), "127.0.0.2").rfind("HTTP/1.1 404 ", 0), 0u);
}

TEST(PictureIds, IPv6SourcesCountByTheirNetwork)
{
    struct Case {
        const char* a;
        const char* b;
        bool same;
    } cases[] = {
        {"2001:db8:1:2::1", "2001:db8:1:2:ffff::9", true},
        {"2001:db8:1:2::1", "2001:db8:1:3::1", false},
        {"::ffff:192.0.2.7", "192.0.2.7", true},
        {"192.0.2.7", "192.0.2.8", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TMissThrottle::SourceOf(c.a) == TMissThrottle::SourceOf(c.b), c.same) << c.a << " " << c.b;
}

} // namespace
