#include "service/proxy.h"
#include "service/versioncheckthread.h"

#include <gtest/gtest.h>

#include <deque>
#include <utility>

using namespace quillon;

namespace {

TOptions ProxyOptions(int source, std::string host, std::string port, bool auth = false,
                      std::string login = "", std::string password = "")
{
    TOptions o;
    o.proxysource = source;
    o.proxyhost = std::move(host);
    o.proxyport = std::move(port);
    o.proxyauthentication = auth;
    o.proxylogin = std::move(login);
    o.proxypassword = std::move(password);
    return o;
}

TEST(ProxyRuleTest, ProxyAppliesOnlyWithHostAndPortAndAProxySource)
{
    struct Case {
        TOptions options;
        bool applies;
    } cases[] = {
        {ProxyOptions(psIE, "", ""), false},  // "ie" with the system proxy off
        {ProxyOptions(psIE, "proxy", "3128"), true},
        {ProxyOptions(psManual, "proxy", "8080"), true},
        {ProxyOptions(psManual, "proxy", ""), false},
        {ProxyOptions(psManual, "", "8080"), false},
        {ProxyOptions(psNoProxy, "proxy", "8080"), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProxyApplies(c.options), c.applies)
            << c.options.proxysource << " " << c.options.proxyhost << ":" << c.options.proxyport;
}

TEST(ProxyRuleTest, ConfigureSetsTheProxyOrLeavesTheResetState)
{
    THTTPConnection connection;
    ConfigureConnection(connection, ProxyOptions(psManual, "proxy", "8080", true, "u", "p"));
    EXPECT_EQ(connection.Proxy(), (TProxySettings{"proxy", 8080, true, "u", "p"}));

    // Credentials are only taken when the proxy asks for them.
    ConfigureConnection(connection, ProxyOptions(psIE, "sys", "3128", false, "u", "p"));
    EXPECT_EQ(connection.Proxy(), (TProxySettings{"sys", 3128, false, "", ""}));

    ConfigureConnection(connection, ProxyOptions(psNoProxy, "proxy", "8080", true, "u", "p"));
    EXPECT_EQ(connection.Proxy(), TProxySettings());

    ConfigureConnection(connection, ProxyOptions(psManual, "proxy", "8080"));
    ResetConnection(connection);
    EXPECT_EQ(connection.Proxy(), TProxySettings());
}

TEST(ProxyRuleTest, PortThatIsNotADecimalIntegerIsAConversionError)
{
    THTTPConnection connection;
    for (const char* port : {"80a", "0x50", " 80", "8080 ", "99999999999"}) {
        ConfigureConnection(connection, ProxyOptions(psManual, "proxy", "8080"));
        try {
            ConfigureConnection(connection, ProxyOptions(psManual, "proxy", port));
            ADD_FAILURE() << port << " was accepted";
        } catch (const QuillonError& e) {
            EXPECT_EQ(e.what(), "'" + std::string(port) + "' is not a valid integer value");
        }
        EXPECT_EQ(connection.Proxy(), TProxySettings()) << "a failed configure must not keep the old proxy";
    }
}

// The proxy login dialog, answering from a script and recording what it was shown.
struct ScriptedLogin {
    std::deque<std::optional<std::pair<std::string, std::string>>> answers;  // nothing: Cancel
    std::vector<std::pair<std::string, std::string>> shown;

    TProxyLoginPrompt Prompt()
    {
        return [this](std::string& login, std::string& password) {
            shown.emplace_back(login, password);
            auto answer = answers.front();
            answers.pop_front();
            if (!answer)
                return false;
            login = answer->first;
            password = answer->second;
            return true;
        };
    }
};

TEST(EnsureProxyCredentialsTest, AsksUntilBothFieldsAreFilledSavingEachTime)
{
    TOptions options = ProxyOptions(psManual, "proxy", "8080", true, "old", "");
    ScriptedLogin dialog;
    dialog.answers = {std::pair{"ann", ""}, std::pair{"ann", "secret"}};
    std::vector<TOptions> saved;
    EXPECT_TRUE(EnsureProxyCredentials(options, dialog.Prompt(), [&] { saved.push_back(options); }));
    ASSERT_EQ(dialog.shown.size(), 2u);
    EXPECT_EQ(dialog.shown[0], (std::pair<std::string, std::string>{"old", ""}));
    EXPECT_EQ(dialog.shown[1], (std::pair<std::string, std::string>{"ann", ""}));
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(saved[0].proxylogin, "ann");
    EXPECT_EQ(saved[0].proxypassword, "");
    EXPECT_EQ(saved[1].proxypassword, "secret");
    EXPECT_EQ(options.proxypassword, "secret");
}

TEST(EnsureProxyCredentialsTest, CancelGivesUpWithoutSaving)
{
    TOptions options = ProxyOptions(psManual, "proxy", "8080", true);
    ScriptedLogin dialog;
    dialog.answers = {std::nullopt};
    int saves = 0;
    EXPECT_FALSE(EnsureProxyCredentials(options, dialog.Prompt(), [&] { ++saves; }));
    EXPECT_EQ(dialog.shown.size(), 1u);
    EXPECT_EQ(saves, 0);
}

TEST(EnsureProxyCredentialsTest, NoDialogWhenTheProxyDoesNotAskForCredentials)
{
    for (const TOptions& options : {ProxyOptions(psNoProxy, "proxy", "8080", true),
                                    ProxyOptions(psManual, "proxy", "", true),
                                    ProxyOptions(psManual, "proxy", "8080", false),
                                    ProxyOptions(psManual, "proxy", "8080", true, "u", "p")}) {
        TOptions copy = options;
        ScriptedLogin dialog;
        EXPECT_TRUE(EnsureProxyCredentials(copy, dialog.Prompt(), [] {}));
        EXPECT_TRUE(dialog.shown.empty());
    }
}

TEST(VersionCheckStartTest, SkippedSilentlyWhenProxyCredentialsAreMissingOrThePortIsBad)
{
    struct Case {
        TOptions options;
        bool starts;
        TProxySettings proxy;
    } cases[] = {
        {ProxyOptions(psManual, "proxy", "8080", true, "u", ""), false, {}},
        {ProxyOptions(psManual, "proxy", "8080", true, "", "p"), false, {}},
        {ProxyOptions(psManual, "proxy", "80a"), false, {}},
        {ProxyOptions(psNoProxy, "proxy", "8080", true), true, {}},
        {ProxyOptions(psManual, "proxy", "8080", true, "u", "p"), true, {"proxy", 8080, true, "u", "p"}},
    };
    for (const auto& c : cases) {
        THTTPConnection connection;
        connection.SetProxy({"stale", 1, false, "", ""});
        EXPECT_EQ(PrepareVersionCheck(connection, c.options), c.starts) << c.options.proxyport;
        if (c.starts) {
            EXPECT_EQ(connection.Proxy(), c.proxy);
        }
    }
}

} // namespace
