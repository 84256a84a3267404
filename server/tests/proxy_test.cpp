// Behind a reverse proxy every connection comes from the proxy: the client's address is
// taken from the proxy's X-Forwarded-For hop, and from nobody else's.
#include "core/config.h"
#include "core/forwarded.h"
#include "servicefixture.h"

#include <gtest/gtest.h>

using namespace quillon::server;
using namespace quillon::server::test;

namespace {

TEST(Proxy, ClientAddressBelievesOnlyTheTrustedProxysOwnHop)
{
    struct Case {
        const char* peer;
        const char* forwardedFor;
        const char* trusted;
        const char* expected;
    } cases[] = {
        {"127.0.0.1", "203.0.113.5", "", "127.0.0.1"},                      // no proxy trusted
        {"127.0.0.1", "203.0.113.5", "127.0.0.1", "203.0.113.5"},
        {"::ffff:127.0.0.1", "203.0.113.5", "127.0.0.1", "203.0.113.5"},   // dual-stack peer
        {"127.0.0.2", "203.0.113.5", "127.0.0.1", "127.0.0.2"},             // not the proxy
        {"127.0.0.1", "10.9.9.9, 203.0.113.5", "127.0.0.1", "203.0.113.5"}, // client wrote the first
        {"127.0.0.1", "203.0.113.5 ,2001:db8::7 ", "127.0.0.1", "2001:db8::7"},
        {"127.0.0.1", "203.0.113.5, unknown", "127.0.0.1", "127.0.0.1"},
        {"127.0.0.1", "203.0.113.5:4000", "127.0.0.1", "127.0.0.1"},
        {"127.0.0.1", "", "127.0.0.1", "127.0.0.1"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ClientAddress(c.peer, c.forwardedFor, c.trusted), c.expected)
            << c.peer << " | " << c.forwardedFor << " | " << c.trusted;

    EXPECT_EQ(ParseCommandLine({"--trust-proxy", "::1"}).trustedProxy, "::1");
    EXPECT_THROW(ParseCommandLine({"--trust-proxy", "localhost"}), std::invalid_argument);
}

std::string Miss(const TRunningService& service, const char* peer, const std::string& forwardedFor)
{
    return RawExchange(service.Port(),
                       "GET /guest/?id=" + NewPictureId() + " HTTP/1.1\r\nHost: x\r\nX-Forwarded-For: " +
                           forwardedFor + "\r\nConnection: close\r\n\r\n",
                       peer);
}

TEST(Proxy, MissesBehindTheTrustedProxyCountPerClient)
{
    TServiceConfig config;
    config.trustedProxy = "127.0.0.1";
    TRunningService service(config);

    bool refused = false;
    for (int i = 0; i < 40 && !refused; ++i)
        refused = Miss(service, "127.0.0.1", "198.51.100.1, 203.0.113.5").rfind("HTTP/1.1 429 ", 0) == 0;
    ASSERT_TRUE(refused) << "a guesser behind the proxy was never slowed down";
    EXPECT_TRUE(service.WaitForLog("203.0.113.5 GET /guest/ 429"));

    // Another client of the same proxy, and the refused client's address written by a
    // peer that is not the proxy, are not held up.
    EXPECT_EQ(Miss(service, "127.0.0.1", "203.0.113.6").rfind("HTTP/1.1 404 ", 0), 0u);
    EXPECT_EQ(Miss(service, "127.0.0.2", "203.0.113.5").rfind("HTTP/1.1 404 ", 0), 0u);
    EXPECT_TRUE(service.WaitForLog("127.0.0.2 GET /guest/ 404"));
}

} // namespace
