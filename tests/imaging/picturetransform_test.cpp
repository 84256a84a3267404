#include "imaging/picturetransform.h"

#include "codec_fixtures.h"
#include "imaging/codecs.h"
#include "imaging/picturefiles.h"
#include "imaging/picturemessages.h"
#include "logodir/messages.h"
#include "logodir/nodepaths.h"
#include "support/scriptedprompts.h"
#include "support/tempdir.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

using namespace quillon;
using quillon::test::MakeTestPicture;
using quillon::test::TScriptedPrompts;
using quillon::test::TTempDir;
namespace fs = std::filesystem;

namespace {

// Something like a photo: smooth shading and fine texture, with coloured shapes whose
// hard edges sit where no 8 x 8 block boundary falls.
TBitmap PhotoWithColourEdges(int width, int height)
{
    TBitmap b(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double texture = 10 * std::sin(x * 0.7) * std::sin(y * 0.45);
            double rgb[3] = {70 + 100.0 * x / width + texture, 90 + 80.0 * y / height + texture,
                             150 - 60.0 * x / width + texture};
            const double dx = x - width * 0.37, dy = y - height * 0.41;
            if (dx * dx + dy * dy < 0.09 * width * height)
                rgb[0] = 230, rgb[1] = 30, rgb[2] = 40; // a red disc
            if ((x + 2 * y) % 37 < 5)
                rgb[0] = 20, rgb[1] = 200, rgb[2] = 60; // green stripes across it
            if (x > width * 0.7 && y > height * 0.6)
                rgb[0] = 40, rgb[1] = 50, rgb[2] = 220; // a blue block
            for (int c = 0; c < 3; ++c)
                b.Pixel(x, y)[c] = static_cast<uint8_t>(std::clamp(rgb[c], 0.0, 255.0));
        }
    return b;
}

// The share of pixels with a channel that differs by at least `levels`.
double MovedShare(const TBitmap& a, const TBitmap& b, int levels)
{
    size_t moved = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            for (int c = 0; c < 3; ++c)
                if (std::abs(a.Pixel(x, y)[c] - b.Pixel(x, y)[c]) >= levels) {
                    ++moved;
                    break;
                }
    return double(moved) / (double(a.Width()) * a.Height());
}

class PictureTransformTest : public ::testing::Test {
protected:
    void SetUp() override { tree.CreateRootNode(); }

    // A logo whose file on disk holds the test picture in the format of its name.
    TLogoNode* Logo(const std::string& name)
    {
        auto record = std::make_unique<TLogoDirObject>(nkLogo, name);
        record->phonemakeid = 2;
        record->phonemodelid = 5;
        record->logowidth = 101;
        record->fitkind = fkWidth;
        record->uploadurl = "http://wap.example/x";
        record->frameleft = record->frametop = 3;
        record->framewidth = record->frameheight = 40;
        TLogoNode* node = tree.AddChild(tree.Root(), name, kLogoImage, std::move(record));
        fs::create_directories(Folder());
        SavePicture((Folder() / name).string(), picture, PictureFormatOfName(name), {});
        return node;
    }
    fs::path Folder() const { return dir.Path() / "Logo Directory"; }
    // An empty folder again, for the next case of a table.
    void Restart()
    {
        tree.Clear();
        fs::remove_all(Folder());
        prompts.shown.clear();
    }
    std::vector<std::string> Files() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(Folder()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (size_t i = 0; i < tree.Root()->Count(); ++i)
            names.push_back(tree.Root()->Child(i)->Text());
        return names;
    }
    TTransformResult Run(TLogoNode* node, const TTransformRequest& request)
    {
        return TransformLogoFile(dir.AppDir(), tree, node, picture, request, prompts);
    }
    // As the command runs: on the picture decoded from the logo's file.
    TTransformResult RunOnFile(TLogoNode* node, const TTransformRequest& request)
    {
        const TBitmap decoded = LoadPicture(GetLogoFileName(dir.AppDir(), node));
        return TransformLogoFile(dir.AppDir(), tree, node, decoded, request, prompts);
    }
    static TTransformRequest Rotate(int angle) { return {TTransformKind::Rotate, 0, TMirrorDirection::Horizontal, angle, 2, false}; }
    static TTransformRequest Convert(int format, int retain, bool ask = false)
    {
        return {TTransformKind::Convert, format, TMirrorDirection::Horizontal, 90, retain, ask};
    }
    static TTransformRequest Mirror(int retain, bool ask = false)
    {
        return {TTransformKind::Mirror, 0, TMirrorDirection::Horizontal, 90, retain, ask};
    }

    TTempDir dir;
    TLogoTree tree;
    TScriptedPrompts prompts;
    TBitmap picture = MakeTestPicture(30, 20);
};

TEST_F(PictureTransformTest, ConvertingWithDeleteRenamesTheNodeAndRemovesTheOldFile)
{
    TLogoNode* photo = Logo("photo.jpg");
    const TTransformResult r = Run(photo, Convert(pfPNG, 2));
    EXPECT_EQ(r.node, photo);
    EXPECT_FALSE(r.added);
    EXPECT_EQ(Files(), std::vector<std::string>{"photo.png"});
    EXPECT_EQ(photo->Text(), "photo.png");
    EXPECT_EQ(photo->Data()->nodename, "photo.png");
    EXPECT_FALSE(photo->Data()->HasFrame());
    EXPECT_TRUE(prompts.shown.empty());
    // The conversion keeps every pixel at full size.
    const TBitmap back = LoadPicture((Folder() / "photo.png").string());
    EXPECT_EQ(back.Width(), 30);
    EXPECT_EQ(back.Height(), 20);
}

TEST_F(PictureTransformTest, ConvertingWithRetainAddsAUniquelyNamedCopyAfterTheOldNode)
{
    TLogoNode* photo = Logo("photo.jpg");
    Logo("photo2.png");
    Logo("zebra.bmp");
    const TTransformResult r = Run(photo, Convert(pfGIF, 1));
    ASSERT_TRUE(r.added);
    EXPECT_EQ(Names(), (std::vector<std::string>{"photo.jpg", "photo3.gif", "photo2.png", "zebra.bmp"}));
    EXPECT_EQ(r.node, tree.Root()->Child(1));
    TLogoDirObject expected = *photo->Data();
    expected.nodename = "photo3.gif";
    expected.DiscardFrame();
    EXPECT_EQ(*r.node->Data(), expected);
    EXPECT_TRUE(fs::exists(Folder() / "photo.jpg"));
    // GIF files written by a transform keep to a 256-colour palette.
    EXPECT_LE(quillon::test::CountColours(LoadPicture((Folder() / "photo3.gif").string())), 256u);
}

TEST_F(PictureTransformTest, MirroringWithTheDefaultsReplacesTheFileWhateverTheCaseOfTheExtension)
{
    TLogoNode* upper = Logo("PHOTO.JPG");
    TLogoNode* scan = Logo("scan.jpeg");
    Run(upper, Mirror(2));
    Run(scan, Mirror(2));
    EXPECT_EQ(upper->Text(), "PHOTO.jpg");
    EXPECT_EQ(scan->Text(), "scan.jpg");
    // PHOTO.JPG is the same file to the program, so no stray copy stays; scan.jpeg has
    // another name and stays because no target name was asked.
    EXPECT_EQ(Files(), (std::vector<std::string>{"PHOTO.jpg", "scan.jpeg", "scan.jpg"}));
}

TEST_F(PictureTransformTest, TheNameLoopAllowsTheOwnBaseNameWhenDeletingAndWarnsOnAnother)
{
    TLogoNode* photo = Logo("photo.png");
    Logo("beach.bmp");
    prompts.inputs = {std::string("BEACH"), std::string("photo")};
    const TTransformResult r = Run(photo, Mirror(2, true));
    EXPECT_EQ(r.node, photo);
    ASSERT_EQ(prompts.shown.size(), 3u);
    EXPECT_EQ(prompts.shown[0].text, std::string(kTitleTargetFileName) + "|" + kPromptTargetFileName + "|photo");
    EXPECT_EQ(prompts.shown[1].text, kMsgTargetNameExists);
    // The box comes back with what was typed.
    EXPECT_EQ(prompts.shown[2].text, std::string(kTitleTargetFileName) + "|" + kPromptTargetFileName + "|BEACH");
    EXPECT_EQ(Files(), (std::vector<std::string>{"beach.bmp", "photo.png"}));
    const TBitmap back = LoadPicture((Folder() / "photo.png").string());
    EXPECT_EQ(back, MirrorBitmap(picture, TMirrorDirection::Horizontal));
}

TEST_F(PictureTransformTest, WhenKeepingTheOwnBaseNameIsTakenToo)
{
    TLogoNode* photo = Logo("photo.png");
    prompts.inputs = {std::string("Photo"), std::string("other")};
    const TTransformResult r = Run(photo, Mirror(1, true));
    EXPECT_EQ(prompts.shown[1].text, kMsgTargetNameExists);
    ASSERT_TRUE(r.added);
    EXPECT_EQ(Names(), (std::vector<std::string>{"photo.png", "other.png"}));
}

TEST_F(PictureTransformTest, AskingRotateAndNamingAnotherFileDeletesTheSource)
{
    TLogoNode* photo = Logo("photo.png");
    prompts.choices = {TAnswer::No};
    prompts.inputs = {std::string("turned")};
    TTransformRequest rotate{TTransformKind::Rotate, 0, TMirrorDirection::Horizontal, 90, 0, true};
    Run(photo, rotate);
    EXPECT_EQ(prompts.shown[0].text, kMsgKeepAfterRotate);
    EXPECT_EQ(photo->Text(), "turned.png");
    EXPECT_EQ(Files(), std::vector<std::string>{"turned.png"});
    const TBitmap back = LoadPicture((Folder() / "turned.png").string());
    EXPECT_EQ(back.Width(), 20);
    EXPECT_EQ(back.Height(), 30);
    EXPECT_EQ(back, RotateBitmap(picture, 90));
}

TEST_F(PictureTransformTest, AJPEGOfWholeMCUsTurnsFourTimesWithoutLosingAnything)
{
    picture = MakeTestPicture(320, 240);
    TLogoNode* photo = Logo("photo.jpg");
    const std::string original = dir.Read("Logo Directory/photo.jpg");
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(RunOnFile(photo, Rotate(90)).node, photo);
    EXPECT_EQ(Files(), std::vector<std::string>{"photo.jpg"});
    // Encoding at each turn would have moved the pixels a little further every time.
    EXPECT_EQ(dir.Read("Logo Directory/photo.jpg"), original);
}

TEST_F(PictureTransformTest, AJPEGWhoseEdgeWouldCutAnMCUIsTurnedAsDecoded)
{
    // 200 rows are 12.5 MCUs of 16: the bottom edge, which moves to the left, is partial.
    picture = MakeTestPicture(300, 200);
    TLogoNode* photo = Logo("photo.jpg");
    const TBitmap decoded = LoadPicture((Folder() / "photo.jpg").string());
    RunOnFile(photo, Rotate(90));
    const TBitmap back = LoadPicture((Folder() / "photo.jpg").string());
    EXPECT_EQ(back.Width(), 200);
    EXPECT_EQ(back.Height(), 300);
    EXPECT_EQ(back, DecodeJPEG(EncodeJPEG(RotateBitmap(decoded, 90), 100, TJPEGChroma::Full)));
}

TEST_F(PictureTransformTest, TurnsEncodedAgainAndAgainKeepTheColourEdges)
{
    // 203 x 157: no side a whole number of MCUs, so every turn encodes the picture again.
    picture = PhotoWithColourEdges(203, 157);
    const struct {
        TTransformRequest request;
        int turns; // back to where it started
    } cases[] = {{Rotate(90), 4}, {Rotate(180), 2}, {Mirror(2), 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request.kind == TTransformKind::Mirror ? "mirror" : std::to_string(c.request.angle));
        Restart();
        TLogoNode* photo = Logo("photo.jpg");
        const TBitmap start = LoadPicture((Folder() / "photo.jpg").string());
        for (int i = 0; i < c.turns; ++i)
            ASSERT_EQ(RunOnFile(photo, c.request).node, photo);
        const TBitmap back = LoadPicture((Folder() / "photo.jpg").string());
        ASSERT_EQ(back.Width(), start.Width());
        EXPECT_LT(MovedShare(start, back, 16), 0.001);
    }
}

TEST_F(PictureTransformTest, CancelAnywhereChangesNothing)
{
    TLogoNode* photo = Logo("photo.png");
    const std::string before = dir.Read("Logo Directory/photo.png");
    prompts.choices = {TAnswer::Cancel};
    EXPECT_EQ(Run(photo, Convert(pfBMP, 0)).node, nullptr);
    EXPECT_EQ(prompts.shown[0].text, kMsgKeepAfterConvert);
    prompts.inputs = {std::nullopt};
    EXPECT_EQ(Run(photo, Mirror(2, true)).node, nullptr);
    EXPECT_EQ(Names(), std::vector<std::string>{"photo.png"});
    EXPECT_EQ(Files(), std::vector<std::string>{"photo.png"});
    EXPECT_EQ(dir.Read("Logo Directory/photo.png"), before);
    EXPECT_TRUE(photo->Data()->HasFrame());
}

TEST_F(PictureTransformTest, ANameLeadingOutOfTheFolderIsRefusedAndAskedAgain)
{
    TLogoNode* photo = Logo("photo.png");
    prompts.inputs = {std::string("../escaped"), std::string("escaped")};
    const TTransformResult r = Run(photo, Convert(pfBMP, 1, true));
    ASSERT_EQ(prompts.shown.size(), 3u);
    EXPECT_EQ(prompts.shown[1].kind, "warning");
    EXPECT_EQ(prompts.shown[1].text, kMsgBadName);
    EXPECT_EQ(prompts.shown[2].text, std::string(kTitleTargetFileName) + "|" + kPromptTargetFileName + "|../escaped");
    EXPECT_FALSE(fs::exists(dir.Path() / "escaped.bmp"));
    ASSERT_TRUE(r.added);
    EXPECT_EQ(Names(), (std::vector<std::string>{"photo.png", "escaped.bmp"}));
    EXPECT_EQ(Files(), (std::vector<std::string>{"escaped.bmp", "photo.png"}));
}

// A file deleted behind the program's back: the picture on screen is what the user
// transforms, so the new file is written from it and the node names that file.
TEST_F(PictureTransformTest, AVanishedFileIsWrittenAnewFromThePictureShown)
{
    // 320 x 240 is whole MCUs: with its file there the JPEG would be turned on its blocks.
    picture = MakeTestPicture(320, 240);
    const struct {
        const char* name;
        TTransformRequest request;
        std::string typed; // a target name asked for, or none
        const char* after;
        TBitmap expected;
    } cases[] = {
        {"photo.jpg", Rotate(90), "", "photo.jpg", RotateBitmap(picture, 90)},
        {"photo.jpg", Mirror(2), "", "photo.jpg", MirrorBitmap(picture, TMirrorDirection::Horizontal)},
        {"photo.png", Rotate(90), "", "photo.png", RotateBitmap(picture, 90)},
        {"photo.jpg", Convert(pfPNG, 2), "", "photo.png", picture},
        {"photo.jpg", Mirror(2, true), "other", "other.jpg", MirrorBitmap(picture, TMirrorDirection::Horizontal)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " -> " + c.after);
        Restart();
        if (!c.typed.empty())
            prompts.inputs = {c.typed};
        TLogoNode* photo = Logo(c.name);
        fs::remove(Folder() / c.name);

        EXPECT_EQ(Run(photo, c.request).node, photo);
        for (const auto& shown : prompts.shown)
            EXPECT_EQ(shown.kind, "input") << shown.text;
        EXPECT_EQ(Names(), std::vector<std::string>{c.after});
        EXPECT_EQ(Files(), std::vector<std::string>{c.after});
        const TBitmap back = LoadPicture((Folder() / c.after).string());
        ASSERT_EQ(back.Width(), c.expected.Width());
        ASSERT_EQ(back.Height(), c.expected.Height());
        EXPECT_GT(Psnr(back, c.expected), 40.0);
    }
}

TEST_F(PictureTransformTest, ASourceThatCannotBeDeletedTakesTheNewFileAwayAgain)
{
    TLogoNode* photo = Logo("photo.jpg");
    // A folder that is not empty cannot be removed like a file, whatever the rights.
    fs::remove(Folder() / "photo.jpg");
    fs::create_directories(Folder() / "photo.jpg" / "inside");
    EXPECT_EQ(Run(photo, Convert(pfPNG, 2)).node, nullptr);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, kMsgCouldNotDeleteSource);
    EXPECT_EQ(Names(), std::vector<std::string>{"photo.jpg"});
    EXPECT_TRUE(photo->Data()->HasFrame());
    EXPECT_EQ(Files(), std::vector<std::string>{"photo.jpg"});
}

TEST_F(PictureTransformTest, AWriteFailureLeavesNodeAndFileAlone)
{
    TLogoNode* photo = Logo("photo.png");
    // A folder in the way of the new file makes the write fail, whatever the rights.
    fs::create_directories(Folder() / "photo.bmp" / "inside");
    EXPECT_EQ(Run(photo, Convert(pfBMP, 2)).node, nullptr);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].kind, "error");
    EXPECT_EQ(photo->Text(), "photo.png");
    EXPECT_EQ(Files(), (std::vector<std::string>{"photo.bmp", "photo.png"}));
    EXPECT_TRUE(fs::is_directory(Folder() / "photo.bmp"));
}

TEST_F(PictureTransformTest, OnlyLogosAreTransformed)
{
    TLogoNode* folder = tree.AddChild(tree.Root(), "Cars", kFolderImage, std::make_unique<TLogoDirObject>(nkFolder, "Cars"));
    EXPECT_EQ(Run(folder, Convert(pfBMP, 2)).node, nullptr);
    EXPECT_EQ(Run(tree.Root(), Convert(pfBMP, 2)).node, nullptr);
    EXPECT_TRUE(prompts.shown.empty());
}

} // namespace
