#include "service/answer.h"
#include "service/messages.h"
#include "service/sendtofriendinput.h"

#include <gtest/gtest.h>

#include <optional>

using namespace quillon;

namespace {

using Lines = std::vector<std::string>;

TEST(AnswerLinesTest, SplitsAtEveryKindOfLineBreak)
{
    struct Case {
        const char* body;
        Lines lines;
    } cases[] = {
        {"", {}},
        {"SUCCESS", {"SUCCESS"}},
        {"SUCCESS\r\n", {"SUCCESS"}},
        {"SUCCESS\r\nurl\r\n", {"SUCCESS", "url"}},
        {"SUCCESS\nurl\na", {"SUCCESS", "url", "a"}},
        {"SUCCESS\rurl\r", {"SUCCESS", "url"}},
        {"A\r\n\r\nB", {"A", "", "B"}},
        {"A\n\rB", {"A", "", "B"}},      // LF then a lone CR: two breaks
        {"A\r\r\n", {"A", ""}},          // lone CR, then CR LF
        {"\r\n", {""}},
        {"SUCCESS \r\n url ", {"SUCCESS ", " url "}},  // no trimming
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitAnswerLines(c.body), c.lines) << "body: " << c.body;
}

TEST(AnswerLinesTest, KeywordsAreComparedInUpperCaseOnly)
{
    struct Case {
        const char* line;
        TAnswerKeyword keyword;
    } cases[] = {
        {"SUCCESS", TAnswerKeyword::Success}, {"success", TAnswerKeyword::Success},
        {"Message", TAnswerKeyword::Message}, {"error", TAnswerKeyword::Error},
        {"SUCCESS ", TAnswerKeyword::Unknown}, {" ERROR", TAnswerKeyword::Unknown},
        {"", TAnswerKeyword::Unknown},          {"OK", TAnswerKeyword::Unknown},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ClassifyKeyword(c.line), c.keyword) << c.line;
}

TEST(SendToFriendInputTest, AddressAndGuestNameChecks)
{
    const std::optional<std::string> ok;
    const std::optional<std::string> badAddress = kMsgWrongRecipientAddress;
    const std::optional<std::string> noName = kMsgSenderNameEmpty;
    struct Case {
        const char* address;
        const char* login;
        const char* name;
        std::optional<std::string> warning;
    } cases[] = {
        {"friend@example.com", "member", "", ok},
        {"friend@.com", "member", "", ok},  // a "." right after the "@" is enough
        {"", "member", "", badAddress},
        {"friend.example.com", "member", "", badAddress},
        {"first.last@example", "member", "", badAddress},  // the only "." before the "@"
        {"a@b@c.d", "member", "", ok},
        {"friend@example.com", "guest", "", noName},
        {"friend@example.com", "GuEsT", "", noName},
        {"friend@example.com", "guest", "Ann", ok},
        {"bad", "guest", "", badAddress},  // the address is checked first
        {"friend@example.com", "guests", "", ok},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SendToFriendInputWarning(c.address, c.login, c.name), c.warning)
            << c.address << " / " << c.login << " / " << c.name;
}

} // namespace
