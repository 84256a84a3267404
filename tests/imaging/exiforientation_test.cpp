#include "codec_fixtures.h"

#include "imaging/codecs.h"
#include "imaging/exiforientation.h"
#include "imaging/picturefiles.h"
#include "imaging/transforms.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quillon {
namespace {

struct TIfdEntry {
    uint16_t tag = 0x0112, type = 3;
    uint32_t count = 1, value = 1;
};

void Put(std::string& s, uint32_t v, int bytes, bool bigEndian)
{
    for (int i = 0; i < bytes; ++i) {
        int shift = bigEndian ? 8 * (bytes - 1 - i) : 8 * i;
        s.push_back(static_cast<char>((v >> shift) & 0xFF));
    }
}

// The TIFF structure of an Exif segment: header, IFD0 at ifdOffset with the entries
// (entryCount written as given, so it can lie), no next IFD.
std::string Tiff(bool bigEndian, const std::vector<TIfdEntry>& entries, uint32_t ifdOffset = 8,
                 int entryCount = -1)
{
    std::string t = bigEndian ? "MM" : "II";
    Put(t, 42, 2, bigEndian);
    Put(t, ifdOffset, 4, bigEndian);
    t.resize(std::max<size_t>(t.size(), ifdOffset), '\0');
    Put(t, entryCount < 0 ? uint32_t(entries.size()) : uint32_t(entryCount), 2, bigEndian);
    for (const TIfdEntry& e : entries) {
        Put(t, e.tag, 2, bigEndian);
        Put(t, e.type, 2, bigEndian);
        Put(t, e.count, 4, bigEndian);
        Put(t, e.value, 2, bigEndian); // a SHORT value sits first in its field
        Put(t, 0, 2, bigEndian);
    }
    Put(t, 0, 4, bigEndian);
    return t;
}

std::string Segment(uint8_t marker, const std::string& body)
{
    std::string s{'\xFF', static_cast<char>(marker)};
    Put(s, uint32_t(body.size() + 2), 2, true);
    return s + body;
}

std::string ExifSegment(const std::string& tiff) { return Segment(0xE1, std::string("Exif\0\0", 6) + tiff); }

// A real JPEG file with the segments put right after its start marker.
std::string JpegWith(const std::string& segments, const TBitmap& picture = test::MakeTestPicture(24, 16))
{
    std::string jpeg = EncodeJPEG(picture, 90);
    return jpeg.substr(0, 2) + segments + jpeg.substr(2);
}

TEST(ExifOrientation, ReadsTheTagInEitherByteOrderAmongOtherSegmentsAndEntries)
{
    const TIfdEntry make{0x010F, 2, 4, 0x4142};
    EXPECT_EQ(ExifOrientationOfJPEG(JpegWith(ExifSegment(Tiff(true, {{.value = 6}})))), 6);
    EXPECT_EQ(ExifOrientationOfJPEG(JpegWith(ExifSegment(Tiff(false, {make, {.value = 8}})))), 8);
    // An XMP packet in another APP1 and a comment come first; fill bytes before a marker.
    std::string before = Segment(0xE0, "JFIF") + Segment(0xE1, "http://ns.adobe.com/xap/1.0/") +
                         Segment(0xFE, "comment") + "\xFF";
    EXPECT_EQ(ExifOrientationOfJPEG(JpegWith(before + ExifSegment(Tiff(false, {{.value = 3}}, 26)))), 3);
    // The IFD may lie anywhere after the header.
    EXPECT_EQ(ExifOrientationOfJPEG(JpegWith(ExifSegment(Tiff(true, {make, {.value = 5}}, 100)))), 5);
}

TEST(ExifOrientation, DamagedOrHostileMetadataMeansUpright)
{
    const std::string good = Tiff(false, {{.value = 6}});
    std::string wrongMagic = good;
    wrongMagic[2] = 43;
    std::string jpeg = EncodeJPEG(test::MakeTestPicture(24, 16), 90);
    struct {
        const char* name;
        std::string file;
    } cases[] = {
        {"no metadata", jpeg},
        {"not a JPEG", "\x89PNG" + ExifSegment(good)},
        {"value 0", JpegWith(ExifSegment(Tiff(false, {{.value = 0}})))},
        {"value 9", JpegWith(ExifSegment(Tiff(false, {{.value = 9}})))},
        {"type LONG", JpegWith(ExifSegment(Tiff(false, {{.type = 4, .value = 6}})))},
        {"count 2", JpegWith(ExifSegment(Tiff(false, {{.count = 2, .value = 6}})))},
        {"count 0", JpegWith(ExifSegment(Tiff(false, {{.count = 0, .value = 6}})))},
        {"IFD past the end", JpegWith(ExifSegment(Tiff(false, {{.value = 6}}, 8).substr(0, 4) + "\xF0\xFF\xFF\xFF"))},
        {"IFD at the very end", JpegWith(ExifSegment(good.substr(0, 4) + std::string("\x19\0\0\0", 4) + good.substr(8)))},
        {"entry count past the end", JpegWith(ExifSegment(Tiff(false, {{.value = 6}}, 8, 0xFFFF)))},
        {"wrong byte order mark", JpegWith(ExifSegment("IM" + good.substr(2)))},
        {"wrong magic", JpegWith(ExifSegment(wrongMagic))},
        {"Exif header cut", JpegWith(Segment(0xE1, "Exif"))},
        {"segment longer than the file", jpeg.substr(0, 2) + ExifSegment(good).substr(0, 20)},
        {"segment length below 2", jpeg.substr(0, 2) + std::string("\xFF\xE1\x00\x01", 4) + ExifSegment(good)},
        {"garbage between segments", jpeg.substr(0, 2) + "xx" + ExifSegment(good)},
        {"after the image data", jpeg.substr(0, jpeg.size() - 2) + ExifSegment(good) + "\xFF\xD9"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExifOrientationOfJPEG(c.file), 1) << c.name;

    // Every cut of a good file reads only what is there: either the tag or upright.
    const std::string whole = JpegWith(ExifSegment(good));
    const size_t tagEnd = 2 + 4 + 6 + good.size();
    for (size_t n = 0; n < whole.size(); ++n) {
        const std::string cut(whole.substr(0, n)); // its own buffer, so a sanitizer sees overreads
        EXPECT_EQ(ExifOrientationOfJPEG(cut), n >= tagEnd ? 6 : 1) << n;
    }
}

TEST(ExifOrientation, TheEightOrientationsShowThePictureAsAViewerDoes)
{
    // 3 x 2, pixel (x, y) holds (x, y, 7).
    const int w = 3, h = 2;
    TBitmap src(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = src.Pixel(x, y);
            p[0] = uint8_t(x), p[1] = uint8_t(y), p[2] = 7;
        }
    using TMap = std::pair<int, int> (*)(int x, int y);
    const TMap maps[] = {
        nullptr,
        [](int x, int y) { return std::pair{x, y}; },                 // 1
        [](int x, int y) { return std::pair{w - 1 - x, y}; },         // 2
        [](int x, int y) { return std::pair{w - 1 - x, h - 1 - y}; }, // 3
        [](int x, int y) { return std::pair{x, h - 1 - y}; },         // 4
        [](int x, int y) { return std::pair{y, x}; },                 // 5
        [](int x, int y) { return std::pair{h - 1 - y, x}; },         // 6
        [](int x, int y) { return std::pair{h - 1 - y, w - 1 - x}; }, // 7
        [](int x, int y) { return std::pair{y, w - 1 - x}; },         // 8
    };
    for (int o = 1; o <= 8; ++o) {
        const TBitmap out = ApplyExifOrientation(src, o);
        const bool sideways = o >= 5;
        ASSERT_EQ(out.Width(), sideways ? h : w) << o;
        ASSERT_EQ(out.Height(), sideways ? w : h) << o;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                auto [tx, ty] = maps[o](x, y);
                const uint8_t* p = out.Pixel(tx, ty);
                EXPECT_EQ(std::pair(int(p[0]), int(p[1])), std::pair(x, y)) << "orientation " << o;
            }
    }
    EXPECT_EQ(ApplyExifOrientation(src, 0), src);
    EXPECT_EQ(ApplyExifOrientation(src, 9), src);
}

class TRowRecorder : public TDecodeListener {
public:
    void Started(const TBitmap& picture) override
    {
        width = picture.Width();
        height = picture.Height();
    }
    void RowsDone(int rows) override { lastRows = rows; }
    int width = 0, height = 0, lastRows = 0;
};

TEST(ExifOrientation, PictureFilesAreLoadedUpright)
{
    test::TTempDir dir;
    const TBitmap picture = test::MakeTestPicture(40, 24);
    const std::string plainFile = dir.Write("plain.jpg", JpegWith("", picture)).string();
    const TBitmap stored = LoadPicture(plainFile);
    const std::string turnedFile =
        dir.Write("turned.JPEG", JpegWith(ExifSegment(Tiff(true, {{.value = 6}})), picture)).string();

    const TBitmap upright = LoadPicture(turnedFile);
    EXPECT_EQ(upright.Width(), 24);
    EXPECT_EQ(upright, RotateBitmap(stored, 90));
    EXPECT_EQ(DecodePicture(JpegWith(ExifSegment(Tiff(true, {{.value = 8}})), picture), pfJPEG),
              RotateBitmap(stored, 270));

    // The show path is told about the upright picture, all rows at once.
    for (const std::string& file : {turnedFile, plainFile}) {
        TBitmap out;
        TRowRecorder rows;
        LoadPictureInto(file, out, rows);
        EXPECT_EQ(out, file == turnedFile ? upright : stored);
        EXPECT_EQ(rows.width, out.Width());
        EXPECT_EQ(rows.height, out.Height());
        EXPECT_EQ(rows.lastRows, out.Height());
    }
}

} // namespace
} // namespace quillon
