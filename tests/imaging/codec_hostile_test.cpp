// Damaged and hostile files, each made by hand from a valid one: every decoder must refuse
// them with an error, and pictures over the size limit with the size message.
#include "codec_fixtures.h"
#include "codec_writers.h"

#include "common/error.h"
#include "imaging/codecs.h"
#include "imaging/picturemessages.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <functional>
#include <random>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillon {
namespace {

using test::PutLE;

std::string ValidJpeg() { return EncodeJPEG(test::MakeTestPicture(40, 30), 90); }
std::string ValidPng() { return EncodePNG(test::MakeTestPicture(40, 30)); }
std::string ValidGif() { return EncodeGIF(test::MakeTestPicture(40, 30), DefaultGIFSettings()); }
std::string ValidBmp(const TBitmap& b = test::MakeTestPicture(5, 4)) { return EncodeBMP(b); }

std::string Half(const std::string& s) { return s.substr(0, s.size() / 2); }

// The baseline frame header's height and width, big-endian.
// The file with its frame header (SOF0, or SOF2 for a progressive one) claiming a size.
std::string WithSize(std::string s, uint16_t width, uint16_t height)
{
    size_t sof = s.find("\xFF\xC0");
    if (sof == std::string::npos)
        sof = s.find("\xFF\xC2");
    s[sof + 5] = char(height >> 8), s[sof + 6] = char(height & 0xFF);
    s[sof + 7] = char(width >> 8), s[sof + 8] = char(width & 0xFF);
    return s;
}

std::string JpegWithSize(uint16_t width, uint16_t height) { return WithSize(ValidJpeg(), width, height); }

std::string ProgressiveJpeg()
{
    return test::WriteJpeg(40, 30, 3, [](int x, int y, int c) { return uint8_t(x * 6 + y * 3 + c * 50); },
                           [](jpeg_compress_struct& cinfo) { jpeg_simple_progression(&cinfo); });
}

// A restart marker after every MCU row, so damage can be placed in a chosen scan.
std::string JpegWithRestarts(bool progressive)
{
    return test::WriteJpeg(48, 32, 3, [](int x, int y, int c) { return uint8_t(x * 5 + y * 7 + c * 60); },
                           [progressive](jpeg_compress_struct& cinfo) {
                               cinfo.restart_in_rows = 1;
                               if (progressive)
                                   jpeg_simple_progression(&cinfo);
                           });
}

// The first restart marker of the file (in its first scan) gets the wrong number, which
// the decoder can only answer by resynchronising and leaving rows grey.
std::string WithRestartMarkerSwapped(std::string s)
{
    size_t sos = s.find("\xFF\xDA");
    size_t rst = s.find("\xFF\xD0", sos);
    s[rst + 1] = '\xD5';
    return s;
}

// A valid progressive file with one scan per AC coefficient and component: 190 scans.
std::string JpegWithManyScans()
{
    static std::vector<jpeg_scan_info> scans;
    scans.clear();
    scans.push_back({3, {0, 1, 2, 0}, 0, 0, 0, 0});
    for (int c = 0; c < 3; ++c)
        for (int k = 1; k < 64; ++k)
            scans.push_back({1, {c, 0, 0, 0}, k, k, 0, 0});
    return test::WriteJpeg(16, 16, 3, [](int x, int y, int c) { return uint8_t(x * 10 + y + c); },
                           [](jpeg_compress_struct& cinfo) {
                               cinfo.scan_info = scans.data();
                               cinfo.num_scans = int(scans.size());
                           });
}

// The IHDR chunk follows the 8-byte signature: length, type, width, height, ...; its CRC
// is recomputed so only the size lies.
std::string PngWithSize(uint32_t width, uint32_t height, bool fixCrc = true)
{
    std::string s = ValidPng();
    for (int i = 0; i < 4; ++i) {
        s[size_t(16 + i)] = char(width >> (24 - 8 * i));
        s[size_t(20 + i)] = char(height >> (24 - 8 * i));
    }
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(s.data() + 12), 17);
    if (!fixCrc)
        crc ^= 1;
    for (int i = 0; i < 4; ++i)
        s[size_t(29 + i)] = char(crc >> (24 - 8 * i));
    return s;
}

// A GIF of one frame, written byte by byte; lzw is the image data after the code size 2.
std::string HandGif(uint16_t screenW, uint16_t screenH, bool palette, const std::string& lzw, uint16_t frameW = 1,
                    uint16_t frameH = 1, bool interlaced = false)
{
    std::string s = "GIF89a";
    PutLE(s, screenW, 2);
    PutLE(s, screenH, 2);
    s += {char(palette ? 0x80 : 0), 0, 0};
    if (palette)
        s += std::string("\x00\x00\x00\xFF\xFF\xFF", 6);
    s += ',';
    PutLE(s, 0, 4);
    PutLE(s, frameW, 2);
    PutLE(s, frameH, 2);
    s += {char(interlaced ? 0x40 : 0), 2, char(lzw.size())};
    s += lzw;
    s += {0, ';'};
    return s;
}
const std::string kLzwIndex1 = "\x4C\x01"; // clear, 1, end
const std::string kLzwIndex3 = "\x5C\x01"; // clear, 3, end: past a two-colour palette

std::string BmpHeader(uint32_t headerSize, int32_t width, int32_t height, uint16_t bits, uint32_t compression,
                      uint32_t coloursUsed = 0, uint32_t pixelOffset = 0)
{
    std::string s = "BM";
    PutLE(s, 0, 4);
    PutLE(s, 0, 4);
    PutLE(s, pixelOffset ? pixelOffset : 14 + headerSize + (bits <= 8 ? 4 * (coloursUsed ? coloursUsed : 1u << bits) : 0), 4);
    PutLE(s, headerSize, 4);
    PutLE(s, uint32_t(width), 4);
    PutLE(s, uint32_t(height), 4);
    PutLE(s, 1, 2);
    PutLE(s, bits, 2);
    PutLE(s, compression, 4);
    s += std::string(12, '\0');
    PutLE(s, coloursUsed, 4);
    PutLE(s, 0, 4);
    s += std::string(headerSize - 40, '\0');
    for (uint32_t i = 0; bits <= 8 && i < (coloursUsed ? coloursUsed : 1u << bits); ++i)
        PutLE(s, 0x00808080u + i, 4);
    return s;
}

std::string Rle8(const std::string& data, int width = 4, int height = 2)
{
    return BmpHeader(40, width, height, 8, 1, 4) + data;
}

std::string BitfieldsBmp(uint32_t red)
{
    std::string s = BmpHeader(40, 1, 1, 16, 3, 0, 14 + 40 + 12);
    PutLE(s, red, 4);
    PutLE(s, 0x3E0, 4);
    PutLE(s, 0x1F, 4);
    return s + std::string(4, '\0');
}

using TDecoder = TBitmap (*)(std::string_view);

struct THostileCase {
    const char* name;
    TDecoder decode;
    std::string data;
    bool tooLarge = false;
};

std::vector<THostileCase> HostileCases()
{
    std::string bmpPixels(4, '\0');
    return {
        {"jpeg empty", DecodeJPEG, ""},
        {"jpeg start marker only", DecodeJPEG, "\xFF\xD8"},
        {"jpeg truncated", DecodeJPEG, Half(ValidJpeg())},
        {"jpeg truncated with an end marker", DecodeJPEG, Half(ValidJpeg()) + "\xFF\xD9"},
        {"jpeg 15800 x 15800 with the data of 40 x 30", DecodeJPEG, JpegWithSize(15800, 15800)},
        {"progressive jpeg truncated with an end marker", DecodeJPEG, Half(ProgressiveJpeg()) + "\xFF\xD9"},
        {"jpeg restart marker out of order", DecodeJPEG, WithRestartMarkerSwapped(JpegWithRestarts(false))},
        {"jpeg png data", DecodeJPEG, ValidPng()},
        {"jpeg zero width", DecodeJPEG, JpegWithSize(0, 30)},
        {"jpeg 65500 x 65500", DecodeJPEG, JpegWithSize(65500, 65500), true},
        {"jpeg 190 progressive scans", DecodeJPEG, JpegWithManyScans()},
        {"png empty", DecodePNG, ""},
        {"png signature only", DecodePNG, ValidPng().substr(0, 8)},
        {"png truncated", DecodePNG, Half(ValidPng())},
        {"png header crc wrong", DecodePNG, PngWithSize(40, 30, false)},
        {"png header larger than data", DecodePNG, PngWithSize(400, 300)},
        {"png 20000 x 20000", DecodePNG, PngWithSize(20000, 20000), true},
        {"png width 2^31", DecodePNG, PngWithSize(0x80000000u, 1)},
        {"gif empty", DecodeGIF, ""},
        {"gif signature only", DecodeGIF, "GIF89a"},
        {"gif truncated", DecodeGIF, Half(ValidGif())},
        {"gif index past palette", DecodeGIF, HandGif(1, 1, true, kLzwIndex3)},
        {"gif without palette", DecodeGIF, HandGif(1, 1, false, kLzwIndex1)},
        {"gif 30000 x 30000 screen", DecodeGIF, HandGif(30000, 30000, true, kLzwIndex1), true},
        {"gif no image", DecodeGIF, ValidGif().substr(0, 13 + 768) + ";"},
        {"bmp empty", DecodeBMP, ""},
        {"bmp signature only", DecodeBMP, "BM"},
        {"bmp truncated pixels", DecodeBMP, Half(ValidBmp(test::MakeTestPicture(40, 30)))},
        {"bmp header size 999", DecodeBMP, BmpHeader(40, 1, 1, 24, 0).replace(14, 1, "\xE7\x03", 2) + bmpPixels},
        {"bmp width 0", DecodeBMP, BmpHeader(40, 0, 1, 24, 0) + bmpPixels},
        {"bmp negative width", DecodeBMP, BmpHeader(40, -5, 1, 24, 0) + bmpPixels},
        {"bmp height -2^31", DecodeBMP, BmpHeader(40, 1, INT32_MIN, 24, 0) + bmpPixels, true},
        {"bmp 100000 x 100000", DecodeBMP, BmpHeader(40, 100000, 100000, 24, 0) + bmpPixels, true},
        {"bmp 2^31-1 x 2 at 32 bits", DecodeBMP, BmpHeader(40, INT32_MAX, 2, 32, 0) + bmpPixels, true},
        {"bmp 7 bits", DecodeBMP, BmpHeader(40, 1, 1, 7, 0) + bmpPixels},
        {"bmp rle8 at 24 bits", DecodeBMP, BmpHeader(40, 1, 1, 24, 1) + bmpPixels},
        {"bmp unknown compression", DecodeBMP, BmpHeader(40, 1, 1, 24, 4) + bmpPixels},
        {"bmp pixels past the end", DecodeBMP, BmpHeader(40, 1, 1, 24, 0, 0, 5000) + bmpPixels},
        {"bmp pixels inside the header", DecodeBMP, BmpHeader(40, 1, 1, 24, 0, 0, 20) + bmpPixels},
        {"bmp palette and pixels past the end", DecodeBMP, BmpHeader(40, 1, 1, 8, 0, 200).substr(0, 80)},
        {"bmp index past palette", DecodeBMP, BmpHeader(40, 1, 1, 8, 0, 2) + std::string("\x05\0\0\0", 4)},
        {"bmp 4-bit index past palette", DecodeBMP, BmpHeader(40, 2, 1, 4, 0, 3) + std::string("\x03\0\0\0", 4)},
        {"bmp rle8 literal truncated", DecodeBMP, Rle8(std::string("\0\x04\x01", 3))},
        {"bmp rle8 move past the picture", DecodeBMP, Rle8(std::string("\0\x02\x01\x05\0\x01", 6))},
        {"bmp rle8 rows past the top", DecodeBMP, Rle8(std::string("\0\0\0\0\x01\x01\0\x01", 8), 4, 2)},
        {"bmp rle8 index past palette", DecodeBMP, Rle8(std::string("\x02\x09\0\x01", 4))},
        {"bmp rle8 data ends early", DecodeBMP, Rle8(std::string("\x02\x01", 2))},
        {"bmp rle8 top-down", DecodeBMP, BmpHeader(40, 4, -2, 8, 1, 4) + std::string("\0\x01", 2)},
        {"bmp mask with gaps", DecodeBMP, BitfieldsBmp(0x5400)},
        {"bmp mask wider than 16 bits", DecodeBMP, BitfieldsBmp(0x1F0000)},
    };
}

TEST(CodecHostile, EveryBrokenFileIsRefused)
{
    for (const THostileCase& c : HostileCases()) {
        try {
            c.decode(c.data);
            ADD_FAILURE() << c.name << " was accepted";
        } catch (const QuillonError& e) {
            EXPECT_EQ(std::string(e.what()) == kMsgImageTooLarge, c.tooLarge) << c.name << ": " << e.what();
        }
    }
}

// The hand-made files above differ from valid ones in the fault alone.
TEST(CodecHostile, TheUnbrokenTwinsDecode)
{
    EXPECT_EQ(DecodeGIF(HandGif(1, 1, true, kLzwIndex1)).Pixel(0, 0)[0], 255);
    EXPECT_EQ(DecodeBMP(BmpHeader(40, 1, 1, 8, 0, 2) + std::string("\x01\0\0\0", 4)).Pixel(0, 0)[0], 0x80);
    EXPECT_EQ(DecodeBMP(Rle8(std::string("\x04\x01\0\0\0\x02\0\0\x02\x03\0\x01", 12))).Width(), 4);
    EXPECT_EQ(DecodeJPEG(ProgressiveJpeg()).Height(), 30);
    // As little data a block as a real progressive file has: one flat colour, every DC
    // difference zero.
    const std::string flat = test::WriteJpeg(2048, 1536, 3, [](int, int, int) { return uint8_t(128); },
                                             [](jpeg_compress_struct& cinfo) { jpeg_simple_progression(&cinfo); });
    EXPECT_EQ(DecodeJPEG(flat).Width(), 2048);
    TJPEGPart part{8, 0, 2048, 1536};
    EXPECT_EQ(DecodeJPEGPart(flat, part).Width(), 256);
    EXPECT_EQ(DecodeJPEG(JpegWithRestarts(false)).Height(), 32);
    EXPECT_EQ(DecodeBMP(BitfieldsBmp(0x7C00)).Width(), 1);
    EXPECT_EQ(DecodePNG(PngWithSize(40, 30)).Width(), 40);
    EXPECT_EQ(DecodeJPEG(JpegWithSize(40, 30)).Width(), 40);
}

// What came of work run in a child process whose address space may grow by `extra` bytes
// at most: the error text, "accepted", "out of memory" or "crashed".
std::string OutcomeWithinAddressSpace(const std::function<void()>& work, size_t extra)
{
    int fds[2];
    if (pipe(fds) != 0)
        return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        std::ifstream status("/proc/self/status");
        std::string line;
        size_t kb = 0;
        while (std::getline(status, line))
            if (line.rfind("VmSize:", 0) == 0)
                kb = std::stoul(line.substr(7));
        const rlimit limit{kb * 1024 + extra, kb * 1024 + extra};
        std::string outcome = "accepted";
        if (kb == 0 || setrlimit(RLIMIT_AS, &limit) != 0)
            outcome = "no limit";
        else
            try {
                work();
            } catch (const QuillonError& e) {
                outcome = e.what();
            } catch (const std::bad_alloc&) {
                outcome = "out of memory";
            }
        const ssize_t written = write(fds[1], outcome.data(), outcome.size());
        _exit(written == ssize_t(outcome.size()) ? 0 : 1);
    }
    close(fds[1]);
    std::string outcome;
    char buffer[256];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
        outcome.append(buffer, size_t(n));
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? outcome : "crashed";
}

// A few dozen bytes claiming 15,800 x 15,800 pixels (750 MB decoded) fail as the same
// bytes claiming an ordinary size fail, in an address space of 256 MB: what is allocated
// follows the data that is there, not the header. (The PNG and the JPEG hold the data of
// 40 x 30, a kilobyte or two.)
TEST(CodecHostile, ClaimedSizeCostsNoMemoryBeforeTheData)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow memory does not fit a limited address space";
#endif
    const std::string rle = std::string("\x02\x01\0\0\x03\x02", 6); // a run, end of line, a run; no end
    struct {
        const char* name;
        TDecoder decode;
        std::function<std::string(uint16_t)> file; // of a square picture of that side
    } cases[] = {
        {"gif", DecodeGIF, [](uint16_t side) { return HandGif(side, side, true, kLzwIndex1, side, side); }},
        {"interlaced gif", DecodeGIF,
         [](uint16_t side) { return HandGif(side, side, true, kLzwIndex1, side, side, true); }},
        {"gif without a screen size", DecodeGIF, [](uint16_t side) { return HandGif(0, 0, true, kLzwIndex1, side, side); }},
        {"rle8 bmp", DecodeBMP, [&](uint16_t side) { return BmpHeader(40, side, side, 8, 1, 4) + rle; }},
        {"rle4 bmp", DecodeBMP, [&](uint16_t side) { return BmpHeader(40, side, side, 4, 2, 4) + rle; }},
        {"png", DecodePNG, [](uint16_t side) { return PngWithSize(side, side); }},
        {"baseline jpeg", DecodeJPEG, [](uint16_t side) { return JpegWithSize(side, side); }},
        {"progressive jpeg", DecodeJPEG, [](uint16_t side) { return WithSize(ProgressiveJpeg(), side, side); }},
        {"progressive jpeg without its end marker", DecodeJPEG,
         [](uint16_t side) {
             const std::string file = WithSize(ProgressiveJpeg(), side, side);
             return file.substr(0, file.size() - 2);
         }},
        {"reduced part of a progressive jpeg", [](std::string_view file) {
             TJPEGPart part{8, 0, 15800, 15800};
             return DecodeJPEGPart(file, part);
         }, [](uint16_t side) { return WithSize(ProgressiveJpeg(), side, side); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string huge = c.file(15800);
        EXPECT_LT(huge.size(), 4096u);
        std::string ordinary;
        try {
            c.decode(c.file(100));
            ordinary = "accepted";
        } catch (const QuillonError& e) {
            ordinary = e.what();
        }
        EXPECT_NE(ordinary, "accepted");
        EXPECT_EQ(OutcomeWithinAddressSpace([&] { c.decode(huge); }, size_t{256} << 20), ordinary);
    }
    // The same limit leaves room for a real picture of 12 MB.
    const std::string valid = EncodeBMP(test::MakeTestPicture(2000, 2000));
    EXPECT_EQ(OutcomeWithinAddressSpace([&] { DecodeBMP(valid); }, size_t{256} << 20), "accepted");
}

// What cameras and other writers produce and every reader shows: garbage between the
// entropy-coded data and the next marker, and damage in a scan that a later scan refines.
TEST(CodecHostile, HarmlessWarningsAreAccepted)
{
    const std::string valid = ValidJpeg();
    const TBitmap expected = DecodeJPEG(valid);
    std::string beforeEnd = valid;
    beforeEnd.insert(beforeEnd.size() - 2, "\x12\x34\x56");
    EXPECT_EQ(DecodeJPEG(beforeEnd), expected);
    std::string beforeFrame = valid;
    beforeFrame.insert(beforeFrame.find("\xFF\xC0"), std::string("\0\0garbage", 9));
    EXPECT_EQ(DecodeJPEG(beforeFrame), expected);

    // The swapped marker lies in the first (DC) scan of the progressive file.
    const std::string progressive = JpegWithRestarts(true);
    EXPECT_EQ(DecodeJPEG(WithRestartMarkerSwapped(progressive)).Height(), 32);
}

// Writers cover a row's padding with its last run; the pixels past the row are dropped.
// Palette entry i of Rle8 files is (0x80, 0x80, 0x80 + i).
TEST(CodecHostile, RunsPastTheRowAreCutAtItsEnd)
{
    struct Case {
        const char* name;
        std::string file;
        std::vector<std::string> rows;  // top row first, palette indexes as digits
    } cases[] = {
        {"run", Rle8(std::string("\x05\x01\0\x01", 4)), {"0000", "1111"}},
        {"literal", Rle8(std::string("\0\x05\x01\x02\x03\x02\x01\0\0\0\x02\x02\0\x01", 14)), {"2200", "1232"}},
        {"move then run", Rle8(std::string("\0\x02\x03\0\x02\x01\0\x01", 8)), {"0000", "0001"}},
        {"a run after the row is full", Rle8(std::string("\x04\x01\x03\x02\0\0\x02\x03\0\x01", 10)),
         {"3300", "1111"}},
        {"rle4 run", BmpHeader(40, 3, 1, 4, 2, 4) + std::string("\x04\x12\0\x01", 4), {"121"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TBitmap b = DecodeBMP(c.file);
        ASSERT_EQ(b.Height(), int(c.rows.size()));
        for (int y = 0; y < b.Height(); ++y)
            for (int x = 0; x < b.Width(); ++x) {
                const uint8_t* p = b.Pixel(x, y);
                EXPECT_EQ(int(p[2]), 0x80 + (c.rows[size_t(y)][size_t(x)] - '0')) << x << "," << y;
                EXPECT_EQ(int(p[0]), 0x80);
            }
    }
}

// Damage valid files at random (bytes changed, runs overwritten, cut short): a decoder
// may accept what still parses, but must never crash or read outside its input, which
// the sanitizer build checks.
TEST(CodecHostile, RandomlyDamagedFilesNeverCrash)
{
    TBitmap picture = test::MakeTestPicture(23, 17);
    test::TPngLayout palette;
    palette.colorType = PNG_COLOR_TYPE_PALETTE;
    palette.interlaced = true;
    palette.palette = {{0, 0, 0}, {255, 0, 0}, {0, 0, 255}};
    palette.paletteAlpha = {0, 128};
    struct {
        const char* name;
        TDecoder decode;
        std::string file;
    } bases[] = {
        {"jpeg", DecodeJPEG, EncodeJPEG(picture, 80)},
        {"progressive jpeg", DecodeJPEG,
         test::WriteJpeg(23, 17, 3, [](int x, int y, int c) { return uint8_t(x * 9 + y * 3 + c); },
                         [](jpeg_compress_struct& c) { jpeg_simple_progression(&c); })},
        {"png", DecodePNG, EncodePNG(picture)},
        {"palette png", DecodePNG, test::WritePng(5, {{0, 1, 2, 1, 0}, {2, 2, 1, 0, 0}}, palette)},
        {"gif", DecodeGIF, EncodeGIF(picture, TGIFSettings{5, TDither::FloydSteinberg})},
        {"bmp", DecodeBMP, EncodeBMP(picture)},
        {"rle8 bmp", DecodeBMP, Rle8(std::string("\x02\x01\0\x03\x01\x02\x03\0\0\0\0\x02\x01\0\x02\x03\0\x01", 18), 6, 2)},
        {"bitfields bmp", DecodeBMP, BitfieldsBmp(0x7C00)},
    };
    std::mt19937 random(20261210);
    for (const auto& base : bases) {
        ASSERT_NO_THROW(base.decode(base.file)) << base.name;
        for (int round = 0; round < 400; ++round) {
            std::string damaged = base.file;
            int edits = 1 + int(random() % 4);
            for (int e = 0; e < edits; ++e) {
                size_t at = random() % damaged.size();
                size_t length = std::min<size_t>(1 + random() % 4, damaged.size() - at);
                for (size_t i = 0; i < length; ++i)
                    damaged[at + i] = char(random() % 3 == 0 ? 0xFF : random());
            }
            if (random() % 3 == 0)
                damaged.resize(random() % damaged.size());
            try {
                TBitmap decoded = base.decode(damaged);
                EXPECT_GT(decoded.Width(), 0) << base.name;
            } catch (const QuillonError&) {
            }
        }
    }
}

} // namespace
} // namespace quillon
