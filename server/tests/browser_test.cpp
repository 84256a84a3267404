// The register page and the member page in a real browser (Debian's chromium, headless,
// loopback only, every run bounded by a time-out).
#include "servicefixture.h"

#include "imaging/codecs.h"
#include "imaging/picturefiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

using namespace quillon::server;
using namespace quillon::server::test;

namespace {

class BrowserTest : public ::testing::Test {
protected:
    // Runs chromium on one address; returns what it printed (the DOM for --dump-dom).
    std::string Chromium(const std::string& action, const std::string& url)
    {
        std::string command =
            "timeout 90 chromium --headless=new --no-sandbox --disable-gpu --no-first-run "
            "--no-default-browser-check --user-data-dir='" + (profile.Path() / "profile").string() +
            "' --no-proxy-server --host-resolver-rules='MAP * ~NOTFOUND, EXCLUDE 127.0.0.1' "
            "--disable-background-networking --disable-component-update --disable-sync --disable-extensions "
            "--disable-default-apps --window-size=480,800 --virtual-time-budget=5000 " +
            action + " '" + url + "' 2>/dev/null";
        FILE* pipe = popen(command.c_str(), "r");
        std::string out;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
            out.append(buf, n);
        pclose(pipe);
        return out;
    }

    TRunningService service;
    quillon::test::TTempDir profile;
};

TEST_F(BrowserTest, RegisterFormFilledInTheBrowserCreatesAnUnconfirmedAccount)
{
    std::string base = "http://" + service.Host();
    std::string page = Chromium("--dump-dom", base + "/register.php");
    ASSERT_NE(page.find("<form"), std::string::npos) << "chromium gave no page";

    // The page as the browser built it, with its fields filled in and submitted on load:
    // the form's own names, action and method reach the service.
    const std::map<std::string, std::string> values{
        {"login", "webuser"}, {"password", "pw123456"}, {"password2", "pw123456"}, {"email", "web@example.org"}};
    std::string filled = page;
    for (size_t at; (at = filled.find(" value=\"\"")) != std::string::npos;)
        filled.erase(at, 9);
    for (const auto& [name, value] : values) {
        std::string attribute = "name=\"" + name + "\"";
        ASSERT_NE(filled.find(attribute), std::string::npos) << name;
        filled.replace(filled.find(attribute), attribute.size(), attribute + " value=\"" + value + "\"");
    }
    filled.replace(filled.find("<head>"), 6, "<head><base href=\"" + base + "/\">");
    filled.replace(filled.find("</body>"), 7, "<script>document.forms[0].requestSubmit()</script></body>");
    std::filesystem::path file = profile.Write("fill.html", filled);

    std::string answer = Chromium("--dump-dom", "file://" + file.string());
    EXPECT_NE(answer.find("id=\"created\""), std::string::npos) << answer;
    auto account = service.Store().FindAccount("webuser");
    ASSERT_TRUE(account);
    EXPECT_FALSE(account->confirmed);
    ASSERT_EQ(service.Outbox().size(), 1u);
}

TEST_F(BrowserTest, MemberPageListsAndShowsTheUploadedPicture)
{
    service.AddMember("viewer", "pw1234");
    quillon::TBitmap red(40, 30);
    for (int y = 0; y < red.Height(); ++y)
        for (int x = 0; x < red.Width(); ++x) {
            uint8_t* p = red.Pixel(x, y);
            p[0] = 230, p[1] = 20, p[2] = 20;
        }
    auto res = service.Client().Post("/upload.php", httplib::MultipartFormDataItems{
                                                        {"login", "viewer", "", ""},
                                                        {"password", "pw1234", "", ""},
                                                        {"logofile", quillon::EncodePNG(red), "r.png", "image/unknown"}});
    ASSERT_TRUE(res);
    ASSERT_EQ(res->body.rfind("SUCCESS", 0), 0u);
    std::string id = IdIn(res->body);

    std::string pageUrl = "http://" + service.Host() + "/wap/?login=viewer&password=pw1234";
    std::string dom = Chromium("--dump-dom", pageUrl);
    EXPECT_NE(dom.find("<a href=\"/wap/?id=" + id + "\">"), std::string::npos) << dom;

    // The picture is drawn on the page, not merely linked.
    std::filesystem::path shot = profile.Path() / "page.png";
    Chromium("--screenshot='" + shot.string() + "'", pageUrl);
    ASSERT_TRUE(std::filesystem::exists(shot));
    quillon::TBitmap screen = quillon::LoadPicture(shot.string());
    int redPixels = 0;
    for (int y = 0; y < screen.Height(); ++y)
        for (int x = 0; x < screen.Width(); ++x) {
            const uint8_t* p = screen.Pixel(x, y);
            redPixels += p[0] > 200 && p[1] < 60 && p[2] < 60;
        }
    EXPECT_GE(redPixels, 40 * 30 / 2);
}

} // namespace
