#include "app/commandstates.h"

#include "logodir/logotree.h"

#include <gtest/gtest.h>

using namespace quillon;

namespace {

class CommandStatesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = tree.CreateRootNode();
        folder = tree.AddChild(root, "F", kFolderImage, std::make_unique<TLogoDirObject>(nkFolder, "F"));
        logo = tree.AddChild(folder, "a.JPEG", kLogoImage, std::make_unique<TLogoDirObject>(nkLogo, "a.JPEG"));
    }
    TCommandStates For(const TLogoNode* n, bool upload = false, bool send = false)
    {
        return ComputeCommandStates({n, root, upload, send, false});
    }
    TLogoTree tree;
    TLogoNode *root, *folder, *logo;
};

TEST_F(CommandStatesTest, TableOverRootFolderAndLogo)
{
    struct Row {
        const char* what;
        bool TCommandStates::*field;
        bool root, folder, logo, logoUploading;
    };
    const Row rows[] = {
        {"save", &TCommandStates::save, false, false, true, true},
        {"grab", &TCommandStates::grabFromScreen, true, true, true, false},
        {"upload", &TCommandStates::upload, false, false, true, true},
        {"rename", &TCommandStates::rename, false, true, true, true},
        {"delete", &TCommandStates::remove, false, true, true, false},
        {"convert", &TCommandStates::convert, false, false, true, false},
        {"mirror", &TCommandStates::mirror, false, false, true, false},
        {"rotate", &TCommandStates::rotate, false, false, true, false},
        {"fit", &TCommandStates::fitToPane, false, false, true, true},
        {"send", &TCommandStates::sendToFriend, true, true, true, true},
        {"properties", &TCommandStates::logoProperties, false, false, true, false},
        {"twain", &TCommandStates::importFromTwain, false, false, false, false},
    };
    const TCommandStates r = For(root), f = For(folder), l = For(logo), lu = For(logo, true);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(r.*row.field, row.root);
        EXPECT_EQ(f.*row.field, row.folder);
        EXPECT_EQ(l.*row.field, row.logo);
        EXPECT_EQ(lu.*row.field, row.logoUploading);
    }
    EXPECT_EQ(For(nullptr), r);  // nothing selected: the first node counts
    EXPECT_TRUE(For(folder, true).upload);
    EXPECT_FALSE(For(folder, false, true).sendToFriend);
    EXPECT_TRUE(ComputeCommandStates({logo, root, false, false, true}).importFromTwain);
}

TEST_F(CommandStatesTest, OwnFormatIsHiddenAndCaptionsFollowTheUrl)
{
    struct Case {
        const char* name;
        bool visible[4];
    };
    const Case cases[] = {
        {"a.JPEG", {true, false, true, true}}, {"a.jpg", {true, false, true, true}},
        {"a.bmp", {false, true, true, true}},  {"a.Gif", {true, true, false, true}},
        {"a.png", {true, true, true, false}},  {"a.tiff", {true, true, true, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        logo->SetText(c.name);
        const TCommandStates s = For(logo);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(s.convertToVisible[i], c.visible[i]) << i;
    }
    EXPECT_EQ(For(logo).uploadCaption, "Upload");
    logo->Data()->uploadurl = "http://x/1";
    EXPECT_EQ(For(logo).uploadCaption, "Upload again");
    EXPECT_EQ(For(logo, true).uploadCaption, "Stop upload");
}

} // namespace
