#include "imaging/losslessjpeg.h"

#include "codec_fixtures.h"
#include "common/error.h"
#include "imaging/codecs.h"
#include "imaging/exiforientation.h"
#include "imaging/picturefiles.h"
#include "imaging/transforms.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <turbojpeg.h>

using namespace quillon;
using quillon::test::MakeTestPicture;

namespace {

// The largest difference of one channel; -1 when the sizes differ.
int MaxDifference(const TBitmap& a, const TBitmap& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return -1;
    int worst = 0;
    for (size_t i = 0; i < a.SizeInBytes(); ++i)
        worst = std::max(worst, std::abs(int(a.Data()[i]) - int(b.Data()[i])));
    return worst;
}

TBitmap Map(const TBitmap& picture, TJPEGTurn turn)
{
    switch (turn) {
    case TJPEGTurn::MirrorHorizontal: return MirrorBitmap(picture, TMirrorDirection::Horizontal);
    case TJPEGTurn::MirrorVertical: return MirrorBitmap(picture, TMirrorDirection::Vertical);
    case TJPEGTurn::Rotate90: return RotateBitmap(picture, 90);
    case TJPEGTurn::Rotate180: return RotateBitmap(picture, 180);
    case TJPEGTurn::Rotate270: break;
    }
    return RotateBitmap(picture, 270);
}

constexpr TJPEGTurn kTurns[] = {TJPEGTurn::MirrorHorizontal, TJPEGTurn::MirrorVertical, TJPEGTurn::Rotate90,
                                TJPEGTurn::Rotate180, TJPEGTurn::Rotate270};

// An APP1 EXIF block with one IFD0 entry, the orientation, right after the SOI marker.
std::string WithOrientation(const std::string& jpeg, int orientation, bool littleEndian)
{
    auto u16 = [&](int v) {
        return littleEndian ? std::string{char(v & 0xFF), char(v >> 8)} : std::string{char(v >> 8), char(v & 0xFF)};
    };
    std::string tiff = littleEndian ? "II" : "MM";
    tiff += u16(42) + (littleEndian ? std::string("\x08\0\0\0", 4) : std::string("\0\0\0\x08", 4));
    tiff += u16(1) + u16(0x0112) + u16(3) + (littleEndian ? std::string("\x01\0\0\0", 4) : std::string("\0\0\0\x01", 4));
    tiff += u16(orientation) + std::string(2, '\0') + std::string(4, '\0');
    const std::string body = std::string("Exif\0\0", 6) + tiff;
    const size_t length = body.size() + 2;
    return jpeg.substr(0, 2) + "\xFF\xE1" + char(length >> 8) + char(length & 0xFF) + body + jpeg.substr(2);
}

TEST(LosslessJpeg, EachTurnIsThePixelMapUpToTheDecodersRounding)
{
    // 4:2:0, so the MCUs are 16 x 16 and every turn is exact at 64 x 48.
    const std::string file = EncodeJPEG(MakeTestPicture(64, 48), 90);
    const TBitmap source = DecodeJPEG(file);
    for (TJPEGTurn turn : kTurns) {
        SCOPED_TRACE(static_cast<int>(turn));
        const auto turned = TurnJPEGLosslessly(file, turn);
        ASSERT_TRUE(turned);
        // The coefficients are moved exactly; decoding them again rounds the inverse DCT
        // and the chroma upsampling in another order, which moves a value by a few steps.
        // A turn the wrong way would be off by far more.
        const int difference = MaxDifference(DecodeJPEG(*turned), Map(source, turn));
        EXPECT_GE(difference, 0);
        EXPECT_LE(difference, 3);
    }
}

TEST(LosslessJpeg, FourQuarterTurnsGiveBackTheFileAndTwoMirrorsToo)
{
    const std::string file = EncodeJPEG(MakeTestPicture(320, 240), 100);
    std::string turned = file;
    for (int i = 0; i < 4; ++i)
        turned = TurnJPEGLosslessly(turned, TJPEGTurn::Rotate90).value();
    EXPECT_EQ(DecodeJPEG(turned), DecodeJPEG(file));
    // The same coefficients, the same tables, the same header: the very same bytes.
    EXPECT_EQ(turned, file);
    const std::string mirrored = TurnJPEGLosslessly(file, TJPEGTurn::MirrorVertical).value();
    EXPECT_NE(mirrored, file);
    EXPECT_EQ(TurnJPEGLosslessly(mirrored, TJPEGTurn::MirrorVertical).value(), file);
}

TEST(LosslessJpeg, OnlyTurnsThatMoveNoPartialMCUAreMadeLosslessly)
{
    // 60 is not a multiple of the 16-pixel MCU, 48 is: the right edge may not move.
    const std::string file = EncodeJPEG(MakeTestPicture(60, 48), 90);
    const struct {
        TJPEGTurn turn;
        bool lossless;
    } cases[] = {
        {TJPEGTurn::MirrorHorizontal, false}, {TJPEGTurn::MirrorVertical, true}, {TJPEGTurn::Rotate90, true},
        {TJPEGTurn::Rotate180, false},        {TJPEGTurn::Rotate270, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TurnJPEGLosslessly(file, c.turn).has_value(), c.lossless) << static_cast<int>(c.turn);
}

// Files our encoder does not write (it always samples chroma 4:2:0 from RGB).
std::string Compress(int width, int height, int pixelFormat, int subsamp, int flags)
{
    const int channels = tjPixelSize[pixelFormat];
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * channels);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<unsigned char>(i * 7 % 251);
    tjhandle handle = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    const int result = tjCompress2(handle, pixels.data(), width, 0, height, pixelFormat, &out, &size, subsamp, 90, flags);
    std::string file = result == 0 ? std::string(reinterpret_cast<char*>(out), size) : std::string();
    tjFree(out);
    tjDestroy(handle);
    return file;
}

TEST(LosslessJpeg, TheMCUOfEachSamplingDecidesAndOnlyYCbCrAndGreyAreTurned)
{
    // 40 x 24: whole 8 x 8 MCUs, but not whole 16 x 16 ones.
    const struct {
        const char* name;
        int pixelFormat, subsamp, flags;
        bool lossless;
    } cases[] = {
        {"4:4:4", TJPF_RGB, TJSAMP_444, 0, true},
        {"4:4:4 progressive", TJPF_RGB, TJSAMP_444, TJFLAG_PROGRESSIVE, true},
        {"grey", TJPF_GRAY, TJSAMP_GRAY, 0, true},
        {"4:2:0", TJPF_RGB, TJSAMP_420, 0, false},
        {"CMYK", TJPF_CMYK, TJSAMP_444, 0, false},
    };
    for (const auto& c : cases) {
        const std::string file = Compress(40, 24, c.pixelFormat, c.subsamp, c.flags);
        ASSERT_FALSE(file.empty()) << c.name;
        const auto turned = TurnJPEGLosslessly(file, TJPEGTurn::Rotate180);
        ASSERT_EQ(turned.has_value(), c.lossless) << c.name;
        if (turned) {
            EXPECT_LE(MaxDifference(DecodeJPEG(*turned), Map(DecodeJPEG(file), TJPEGTurn::Rotate180)), 3) << c.name;
        }
    }
}

TEST(LosslessJpeg, AnOrientedPhotoIsTurnedAsShownAndStoredUpright)
{
    const std::string plain = EncodeJPEG(MakeTestPicture(64, 48), 90);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const std::string file = WithOrientation(plain, orientation, orientation % 2 == 0);
        ASSERT_EQ(ExifOrientationOfJPEG(file), orientation);
        const TBitmap shown = DecodePicture(file, pfJPEG);
        for (TJPEGTurn turn : kTurns) {
            SCOPED_TRACE(std::to_string(orientation) + " " + std::to_string(static_cast<int>(turn)));
            const auto turned = TurnJPEGLosslessly(file, turn);
            ASSERT_TRUE(turned);
            EXPECT_EQ(ExifOrientationOfJPEG(*turned), 1);
            const int difference = MaxDifference(DecodeJPEG(*turned), Map(shown, turn));
            EXPECT_GE(difference, 0);
            EXPECT_LE(difference, 3);
        }
    }
    // 60 x 48 in 4:2:0: the partial MCUs are on the stored right edge, whatever is shown.
    const std::string narrow = EncodeJPEG(MakeTestPicture(60, 48), 90);
    // Shown turned clockwise; turning it again is a half turn of the stored picture.
    EXPECT_FALSE(TurnJPEGLosslessly(WithOrientation(narrow, 6, true), TJPEGTurn::Rotate90));
    // Shown turned counter-clockwise; turning it back is the stored picture as it is.
    const auto back = TurnJPEGLosslessly(WithOrientation(narrow, 8, false), TJPEGTurn::Rotate90);
    ASSERT_TRUE(back);
    EXPECT_EQ(DecodeJPEG(*back), DecodeJPEG(narrow));
}

TEST(LosslessJpeg, WhatIsNotAJPEGItCanTurnGoesToThePixelPathAndFailuresCarryTheLibrarysText)
{
    const std::string file = EncodeJPEG(MakeTestPicture(32, 32), 90);
    EXPECT_FALSE(TurnJPEGLosslessly("not a picture", TJPEGTurn::Rotate90));
    // Entropy data cut short: the library pads it and warns.
    EXPECT_FALSE(TurnJPEGLosslessly(file.substr(0, file.size() - 40), TJPEGTurn::Rotate90));
    // A second frame header after the scan fails only once the coefficients are read.
    const size_t sof = file.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    const size_t sofLength = size_t(uint8_t(file[sof + 2])) << 8 | uint8_t(file[sof + 3]);
    const std::string twoFrames = file.substr(0, file.size() - 2) + file.substr(sof, 2 + sofLength) + "\xFF\xD9";
    try {
        TurnJPEGLosslessly(twoFrames, TJPEGTurn::Rotate90);
        FAIL() << "no error";
    } catch (const QuillonError& e) {
        EXPECT_NE(std::string(e.what()).find("SOF"), std::string::npos) << e.what();
    }
}

} // namespace
