// Requests a well-behaved program never sends: each gets a clear answer, none harms
// the store or stops the service.
#include "servicefixture.h"

#include "core/sqlitestore.h"

#include <gtest/gtest.h>

using namespace quillon::server;
using namespace quillon::server::test;

namespace {

using Items = httplib::MultipartFormDataItems;

TEST(Hostile, BadUploadsAreAnsweredAndStoreNothing)
{
    TServiceConfig config;
    config.http.maxBodyBytes = 64 * 1024;
    TRunningService service(config);
    auto client = service.Client();
    struct Case {
        const char* what;
        Items items;
        int status;
        std::string answerStart;
    } cases[] = {
        {"empty form", {}, 400, "Bad request"},
        {"no password", {{"login", "guest", "", ""}, {"logofile", FakeJpeg("a"), "a.jpg", ""}}, 200, "ERROR\r\n"},
        {"no file", {{"login", "guest", "", ""}, {"password", "x", "", ""}}, 200, "ERROR\r\n"},
        {"not a picture",
         {{"login", "guest", "", ""}, {"password", "x", "", ""}, {"logofile", "<?php evil(); ?>", "x.php", ""}},
         200,
         "ERROR\r\n"},
        {"empty file", {{"login", "guest", "", ""}, {"password", "x", "", ""}, {"logofile", "", "x.jpg", ""}}, 200,
         "ERROR\r\n"},
        {"too large",
         {{"login", "guest", "", ""}, {"password", "x", "", ""}, {"logofile", FakeJpeg(std::string(70000, 'x')), "", ""}},
         413,
         ""},
    };
    for (const Case& c : cases) {
        auto res = client.Post("/upload.php", c.items);
        ASSERT_TRUE(res) << c.what;
        EXPECT_EQ(res->status, c.status) << c.what;
        EXPECT_EQ(res->body.rfind(c.answerStart, 0), 0u) << c.what << ": " << res->body;
    }
    EXPECT_TRUE(std::filesystem::is_empty(service.DataDir() / "pictures"));

    // A file name full of path tricks names nothing: the picture is stored under its id.
    auto res = client.Post("/upload.php", Items{{"login", "guest", "", ""},
                                                {"password", "x", "", ""},
                                                {"logofile", FakeJpeg("t"), "../../../quillon.db", "text/html"}});
    ASSERT_TRUE(res);
    ASSERT_EQ(res->body.rfind("SUCCESS\r\n", 0), 0u);
    std::string id = IdIn(res->body);
    EXPECT_TRUE(std::filesystem::exists(service.DataDir() / "pictures" / id));
    EXPECT_EQ(client.Get("/guest/?id=" + id)->get_header_value("Content-Type"), "image/jpeg");
}

TEST(Hostile, AddressesThatNameNoPictureOrPageAreRefused)
{
    TRunningService service;
    auto client = service.Client();
    struct Case {
        const char* method;
        std::string path;
        int status;
    } cases[] = {
        {"GET", "/wap/?id=../quillon.db", 404},
        {"GET", "/wap/?id=%2e%2e%2fquillon.db", 404},
        {"GET", "/guest/?id=abc", 404},
        {"GET", "/guest/?id=", 404},
        {"GET", "/guest/?id=999999999999", 404},
        {"GET", "/guest/?id=99999999999999999999999", 404},
        {"GET", "/../quillon.db", 404},
        {"GET", "/pictures/", 404},
        {"GET", "/upload.php", 405},
        {"GET", "/sendtofriend.php", 405},
        {"POST", "/curversion.php", 405},
        {"POST", "/wap/", 405},
        {"GET", "/confirm.php?token=x", 404},
        {"GET", "/confirm.php", 404},
        {"GET", "/uploadXphp", 404},
    };
    for (const Case& c : cases) {
        auto res = std::string(c.method) == "GET" ? client.Get(c.path) : client.Post(c.path, "", "text/plain");
        ASSERT_TRUE(res) << c.path;
        EXPECT_EQ(res->status, c.status) << c.method << " " << c.path;
        EXPECT_FALSE(res->body.empty()) << c.path;
    }
    for (const char* raw : {"GET /../../etc/passwd HTTP/1.1\r\nHost: x\r\n\r\n", "\x01\x02garbage\r\n\r\n",
                            "POST /upload.php HTTP/1.1\r\nContent-Length: -5\r\n\r\n",
                            "POST /upload.php HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=x\r\n"
                            "Content-Length: 30\r\n\r\n--x\r\nbroken",
                            "DELETE /guest/ HTTP/1.1\r\n\r\n"}) {
        std::string answer = RawExchange(service.Port(), raw);
        EXPECT_EQ(answer.find("root:"), std::string::npos);
        EXPECT_EQ(answer.find(" 200 "), std::string::npos) << raw << "\n" << answer;
    }
    // Still serving.
    EXPECT_EQ(client.Get("/curversion.php")->body, "1.1.2");
}

TEST(Hostile, StoreOpenedAfterACrashKeepsOnlyPicturesWithRowAndFile)
{
    quillon::test::TTempDir dir;
    std::string kept, lost;
    {
        TSqliteStore store(dir.Path());
        std::int64_t guest = store.FindAccount("guest")->id;
        kept = store.StorePicture(guest, FakeJpeg("kept"), "image/jpeg", 10).id;
        lost = store.StorePicture(guest, FakeJpeg("lost"), "image/jpeg", 10).id;
    }
    // What a crash leaves behind: a half-written temporary, a renamed file whose row was
    // never committed, a row whose file is gone.
    dir.Write("pictures/.tmp-0123", "half");
    dir.Write("pictures/123456789012", FakeJpeg("orphan"));
    std::filesystem::remove(dir.Path() / "pictures" / lost);

    TSqliteStore store(dir.Path());
    EXPECT_TRUE(store.FindPicture(kept));
    EXPECT_FALSE(store.FindPicture(lost));
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path() / "pictures"))
        names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{kept});
}

} // namespace
