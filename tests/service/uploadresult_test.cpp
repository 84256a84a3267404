#include "service/uploadresult.h"

#include "logodir/logotree.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

const char* const kGuest = "http://phones.example/guest/";

TEST(UploadURLFields, MemberAndGuestAfterAnUploadAndOnSelection)
{
    const std::string member = "http://phones.example/p.php?id=42";
    const std::string guest = "http://phones.example/guest/p.php?id=7";
    struct Case {
        const char* what;
        TUploadURLFields got, want;
    };
    const Case cases[] = {
        {"member upload", UploadedURLFields(member, "ann", "pw"),
         {member, member + "&login=ann&password=pw", "42"}},
        {"guest upload, any case", UploadedURLFields(guest, "GuEsT", "guest"), {"http://phones.example/guest/p.php", guest, "7"}},
        {"member upload without a password", UploadedURLFields(member, "ann", ""), {member, member + "&login=ann", "42"}},
        {"a member's stored URL", StoredURLFields(member, "ann", "pw", kGuest), {member, member + "&login=ann&password=pw", "42"}},
        {"a guest's stored URL, judged by the URL", StoredURLFields(guest, "ann", "pw", kGuest),
         {"http://phones.example/guest/p.php", guest, "7"}},
        {"nothing stored", StoredURLFields("", "ann", "pw", kGuest), {"", "", ""}},
        {"a password that would end or change the query", UploadedURLFields(member, "ann.b", "a&b=c #%+"),
         {member, member + "&login=ann.b&password=a%26b%3Dc%20%23%25%2B", "42"}},
        {"a URL without a query has no identifier", UploadedURLFields("http://x/p", "ann", ""), {"http://x/p", "http://x/p&login=ann", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.got.shortURL, c.want.shortURL);
        EXPECT_EQ(c.got.fullURL, c.want.fullURL);
        EXPECT_EQ(c.got.imageID, c.want.imageID);
    }
    EXPECT_EQ(AccessHintURL("ann", "pw", "http://w/wap/", kGuest), "http://w/wap/?login=ann&password=pw");
    EXPECT_EQ(AccessHintURL("ann", "p&w=1?", "http://w/wap/", kGuest), "http://w/wap/?login=ann&password=p%26w%3D1%3F");
    EXPECT_EQ(AccessHintURL("GUEST", "x", "http://w/wap/", kGuest), kGuest);
}

TEST(ForgetWithdrawnURLs, EachURLClearsTheFirstLogoThatHoldsItInTreeOrder)
{
    TLogoTree tree;
    tree.CreateRootNode();
    auto logo = [&](TLogoNode* parent, const char* name, const char* url) {
        auto r = std::make_unique<TLogoDirObject>(nkLogo, name);
        r->uploadurl = url;
        return tree.AddChild(parent, name, 0, std::move(r));
    };
    TLogoNode* folder = tree.AddChild(tree.Root(), "F", 1, std::make_unique<TLogoDirObject>(nkFolder, "F"));
    TLogoNode* a = logo(folder, "a.jpg", "http://s/A");
    TLogoNode* b = logo(tree.Root(), "b.jpg", "http://s/a");  // the same URL, later in tree order
    TLogoNode* c = logo(tree.Root(), "c.jpg", "http://s/c");
    TLogoNode* d = logo(tree.Root(), "d.jpg", "http://s/d");
    ForgetWithdrawnURLs(tree.Root(), {"HTTP://S/A", "http://s/c", "http://s/unknown"});
    EXPECT_EQ(a->Data()->uploadurl, "");
    EXPECT_EQ(b->Data()->uploadurl, "http://s/a");
    EXPECT_EQ(c->Data()->uploadurl, "");
    EXPECT_EQ(d->Data()->uploadurl, "http://s/d");
}

TEST(EnsureServiceCredentials, AsksUntilBothAreFilledAndSavesEachTime)
{
    TOptions options;
    int saves = 0;
    std::vector<std::pair<std::string, std::string>> answers = {{"ann", ""}, {"ann", "pw"}};
    size_t shown = 0;
    auto prompt = [&](std::string& login, std::string& password) {
        if (shown == answers.size())
            return false;
        login = answers[shown].first;
        password = answers[shown].second;
        ++shown;
        return true;
    };
    EXPECT_TRUE(EnsureServiceCredentials(options, prompt, [&] { ++saves; }));
    EXPECT_EQ(shown, 2u);
    EXPECT_EQ(saves, 2);
    EXPECT_EQ(options.password, "pw");
    EXPECT_TRUE(EnsureServiceCredentials(options, prompt, [&] { ++saves; }));  // nothing to ask
    EXPECT_EQ(shown, 2u);

    options.password.clear();
    EXPECT_FALSE(EnsureServiceCredentials(options, prompt, [&] { ++saves; }));  // cancelled
    EXPECT_EQ(saves, 2);
}

} // namespace
} // namespace quillon
