#include "options/options.h"

#include "support/scriptedprompts.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace quillon;
using quillon::test::TScriptedPrompts;
using quillon::test::TTempDir;

namespace {

std::optional<std::string> NoProxy() { return std::nullopt; }

TOptions LoadFrom(const std::string& xml, TScriptedPrompts& prompts, TSystemProxySource proxy = NoProxy)
{
    TTempDir dir;
    dir.Write("options.xml", xml);
    TOptions o;
    LoadOptions(dir.AppDir(), o, prompts, proxy);
    return o;
}

TEST(OptionsTest, EveryFieldSurvivesARoundTripAndTheFileIsPrivate)
{
    TTempDir dir;
    TScriptedPrompts prompts;
    TOptions o;
    o.login = "me & <you>";
    o.password = "p\"w'd&<>";
    o.proxysource = psManual;
    o.proxyhost = "proxy.local";
    o.proxyport = "80a";
    o.proxyauthentication = true;
    o.proxylogin = "pl";
    o.proxypassword = "pp ";
    o.showlogochange = true;
    o.fillemptyarea = true;
    o.emptyareacolor = 0x00123456;
    o.jpegquality = 30;
    o.showjpegdialog = false;
    o.gifbitdepth = 5;
    o.showgifdialog = false;
    o.convertretainsource = rsAsk;
    o.convertasktargetname = true;
    o.mirrorretainsource = rsRetain;
    o.mirrorasktargetname = true;
    o.rotateretainsource = rsAsk;
    o.rotateasktargetname = true;
    o.importedfileformat = ffAsk;
    o.importasktargetname = true;
    o.grabbedfileformat = ffPNG;
    o.grabasktargetname = true;
    o.enableaccesshint = false;
    o.checknewversion = false;
    ASSERT_TRUE(SaveOptions(dir.AppDir(), o, prompts));

    struct stat st{};
    ASSERT_EQ(stat((dir.Path() / "options.xml").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const std::string text = dir.Read("options.xml");
    EXPECT_NE(text.find("<options><login value=\"me &amp; &lt;you&gt;\"/><password"), std::string::npos) << text;
    EXPECT_LT(text.find("<grabasktargetname"), text.find("<enableaccesshint"));

    TOptions back;
    LoadOptions(dir.AppDir(), back, prompts, NoProxy);
    EXPECT_EQ(back, o);
    EXPECT_TRUE(prompts.shown.empty());

    // Defaults are written as the documented words.
    ASSERT_TRUE(SaveOptions(dir.AppDir(), TOptions(), prompts));
    const std::string defaults = dir.Read("options.xml");
    for (const char* piece : {"<proxysource value=\"ie\"/>", "<emptyareacolor value=\"16777215\"/>",
                              "<checknewversion value=\"yes\"/>", "<proxyauthentication value=\"no\"/>"})
        EXPECT_NE(defaults.find(piece), std::string::npos) << piece;
}

TEST(OptionsTest, ValuesAreDecodedAndNormalised)
{
    struct Case {
        const char* element;
        const char* value;  // null: no value attribute
        std::function<bool(const TOptions&)> check;
    };
    const Case cases[] = {
        {"jpegquality", "abc", [](const TOptions& o) { return o.jpegquality == 90; }},
        {"jpegquality", "7", [](const TOptions& o) { return o.jpegquality == 10; }},
        {"jpegquality", "250", [](const TOptions& o) { return o.jpegquality == 100; }},
        {"jpegquality", "44", [](const TOptions& o) { return o.jpegquality == 40; }},
        {"JpegQuality", "45", [](const TOptions& o) { return o.jpegquality == 50; }},
        {"jpegquality", "84", [](const TOptions& o) { return o.jpegquality == 80; }},
        {"gifbitdepth", "1", [](const TOptions& o) { return o.gifbitdepth == 3; }},
        {"gifbitdepth", "12", [](const TOptions& o) { return o.gifbitdepth == 8; }},
        {"proxysource", "Manual", [](const TOptions& o) { return o.proxysource == psManual; }},
        {"proxysource", "NOPROXY", [](const TOptions& o) { return o.proxysource == psNoProxy; }},
        {"proxysource", "none", [](const TOptions& o) { return o.proxysource == psIE; }},
        {"checknewversion", "YES", [](const TOptions& o) { return o.checknewversion; }},
        {"checknewversion", "true", [](const TOptions& o) { return !o.checknewversion; }},
        {"checknewversion", nullptr, [](const TOptions& o) { return !o.checknewversion; }},
        {"convertretainsource", "x", [](const TOptions& o) { return o.convertretainsource == rsDelete; }},
        {"emptyareacolor", "255", [](const TOptions& o) { return o.emptyareacolor == 255; }},
        {"login", nullptr, [](const TOptions& o) { return o.login.empty(); }},
        {"login", " spaced ", [](const TOptions& o) { return o.login == " spaced "; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.element) + "=" + (c.value ? c.value : "(none)"));
        const std::string attr = c.value ? std::string(" value=\"") + c.value + "\"" : "";
        TScriptedPrompts prompts;
        const TOptions o = LoadFrom("<OPTIONS><login value=\"first\"/><" + std::string(c.element) + attr + "/></OPTIONS>",
                                    prompts);
        EXPECT_TRUE(c.check(o));
        EXPECT_TRUE(prompts.shown.empty());
    }
}

TEST(OptionsTest, DamagedFilesReportAndKeepWhatWasRead)
{
    for (const char* bad : {"", "<options><login value=\"x\"/>", "<settings><login value=\"x\"/></settings>"}) {
        SCOPED_TRACE(bad);
        TScriptedPrompts prompts;
        const TOptions o = LoadFrom(bad, prompts);
        EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"Options file is corrupt."});
        EXPECT_EQ(o, TOptions());
    }
    TTempDir dir;
    TScriptedPrompts prompts;
    TOptions o;
    o.login = "stale";
    o.emptyareacolor = 0;
    LoadOptions(dir.AppDir(), o, prompts, NoProxy);  // no file: every default, silently
    EXPECT_EQ(o, TOptions());
    EXPECT_TRUE(prompts.shown.empty());

    EXPECT_FALSE(SaveOptions(dir.AppDir() + "missing/", o, prompts));
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"Error saving application options"});
}

TEST(OptionsTest, SystemProxyTextIsSplitIntoHostAndPort)
{
    struct Case {
        const char* text;
        const char* host;
        const char* port;
    };
    const Case cases[] = {
        {"h:8080", "h", "8080"},
        {"h", "h", "3128"},
        {"ftp=f:21;http=h:80;https=s:443", "h", "80"},
        {"HTTP=h:80;ftp=f:21", "HTTP=h", "80;ftp=f:21"},
        {"https=s:443;http=h", "h", "3128"},
        {"", "", ""},
        {"ftp=f:21;http=", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const TSystemProxy p = ParseSystemProxyText(c.text);
        EXPECT_EQ(p.host, c.host);
        EXPECT_EQ(p.port, c.port);
    }
}

TEST(OptionsTest, EnvironmentProxyIsReducedToHostAndPort)
{
    struct Case {
        const char* lower;
        const char* upper;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"http://proxy.local:3129/", nullptr, "proxy.local:3129"},
        {"http://user:pw@p:8000", nullptr, "p:8000"},
        {"p2:81", nullptr, "p2:81"},
        {nullptr, "http://upper:82/", "upper:82"},
        {nullptr, nullptr, std::nullopt},
    };
    const char* savedLower = getenv("http_proxy");
    const char* savedUpper = getenv("HTTP_PROXY");
    const std::string keepLower = savedLower ? savedLower : "";
    const std::string keepUpper = savedUpper ? savedUpper : "";
    for (const Case& c : cases) {
        c.lower ? setenv("http_proxy", c.lower, 1) : unsetenv("http_proxy");
        c.upper ? setenv("HTTP_PROXY", c.upper, 1) : unsetenv("HTTP_PROXY");
        EXPECT_EQ(EnvironmentProxyText(), c.expected);
    }
    savedLower ? setenv("http_proxy", keepLower.c_str(), 1) : unsetenv("http_proxy");
    savedUpper ? setenv("HTTP_PROXY", keepUpper.c_str(), 1) : unsetenv("HTTP_PROXY");
}

TEST(OptionsTest, SystemProxyReplacesHostAndPortOnlyForIE)
{
    auto system = [] { return std::optional<std::string>("sys:3000"); };
    TScriptedPrompts prompts;
    TOptions ie = LoadFrom("<options><proxyhost value=\"typed\"/><proxyport value=\"1\"/></options>", prompts, system);
    EXPECT_EQ(ie.proxyhost, "sys");
    EXPECT_EQ(ie.proxyport, "3000");
    TOptions manual = LoadFrom("<options><proxysource value=\"manual\"/><proxyhost value=\"typed\"/></options>",
                               prompts, system);
    EXPECT_EQ(manual.proxyhost, "typed");
    TOptions none = LoadFrom("<options/>", prompts, NoProxy);
    EXPECT_EQ(none.proxyhost, "");
    EXPECT_EQ(none.proxyport, "");
}

} // namespace
