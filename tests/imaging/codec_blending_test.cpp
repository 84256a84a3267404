// Pictures must look as they do in every other reader: transparency blended onto white
// in the file's own coding, whatever gamma chunks say, and declared alpha masks of
// Windows bitmaps honoured. Also: ancillary PNG chunks cost nothing to skip.
#include "codec_fixtures.h"

#include "imaging/codecs.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <chrono>
#include <vector>

namespace quillon {
namespace {

using test::PutLE;

struct TPixel {
    int r, g, b;
    bool operator==(const TPixel&) const = default;
};

std::ostream& operator<<(std::ostream& os, const TPixel& p)
{
    return os << "(" << p.r << ", " << p.g << ", " << p.b << ")";
}

TPixel At(const TBitmap& b, int x, int y)
{
    const uint8_t* p = b.Pixel(x, y);
    return {p[0], p[1], p[2]};
}

enum class TColourChunk { None, Gamma, Srgb };

// One row of RGBA (8 or 16 bits; 16-bit samples repeat the 8-bit value in both bytes).
std::string RgbaPng(const std::vector<std::array<uint8_t, 4>>& pixels, int bitDepth, TColourChunk chunk,
                    bool interlaced)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::string file;
    png_set_write_fn(
        png, &file,
        [](png_structp p, png_bytep data, size_t length) {
            static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<char*>(data), length);
        },
        nullptr);
    png_set_IHDR(png, info, png_uint_32(pixels.size()), 2, bitDepth, PNG_COLOR_TYPE_RGBA,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (chunk == TColourChunk::Gamma)
        png_set_gAMA_fixed(png, info, 45455);
    if (chunk == TColourChunk::Srgb)
        png_set_sRGB_gAMA_and_cHRM(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    png_write_info(png, info);
    std::vector<uint8_t> row;
    for (const auto& p : pixels)
        for (uint8_t v : p) {
            row.push_back(v);
            if (bitDepth == 16)
                row.push_back(v);
        }
    png_bytep rows[2] = {row.data(), row.data()};
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return file;
}

TEST(CodecAgreement, PngTransparencyIsBlendedInTheFilesOwnCoding)
{
    // Alpha 203 over blue 0: 255 * 52 / 255 = 52 in every viewer (linear-light blending
    // gave 124); opaque and fully transparent pixels are exact.
    const std::vector<std::array<uint8_t, 4>> pixels = {
        {0, 0, 255, 203}, {10, 20, 30, 255}, {200, 100, 0, 0}, {255, 0, 0, 128}};
    const std::vector<TPixel> expected = {{52, 52, 255}, {10, 20, 30}, {255, 255, 255}, {255, 127, 127}};
    for (TColourChunk chunk : {TColourChunk::None, TColourChunk::Gamma, TColourChunk::Srgb})
        for (int depth : {8, 16})
            for (bool interlaced : {false, true}) {
                SCOPED_TRACE(testing::Message() << "chunk " << int(chunk) << ", " << depth << " bits"
                                                << (interlaced ? ", interlaced" : ""));
                TBitmap b = DecodePNG(RgbaPng(pixels, depth, chunk, interlaced));
                ASSERT_EQ(b.Width(), 4);
                for (int y = 0; y < 2; ++y)
                    for (int x = 0; x < 4; ++x)
                        EXPECT_EQ(At(b, x, y), expected[size_t(x)]) << x;
            }
}

uint32_t Crc(const std::string& typeAndData)
{
    return uint32_t(crc32(0, reinterpret_cast<const Bytef*>(typeAndData.data()), uInt(typeAndData.size())));
}

std::string Chunk(const std::string& type, const std::string& data)
{
    std::string s;
    for (int i = 3; i >= 0; --i)
        s += char((data.size() >> (8 * i)) & 0xFF);
    const uint32_t crc = Crc(type + data);
    s += type + data;
    for (int i = 3; i >= 0; --i)
        s += char((crc >> (8 * i)) & 0xFF);
    return s;
}

TEST(CodecAgreement, CompressedTextChunksAreNotInflated)
{
    // 400 chunks of text that inflate to 4 MB each, behind the header of a 16 x 16 picture.
    const std::string text(4 * 1024 * 1024, 'a');
    std::string deflated(compressBound(uLong(text.size())), '\0');
    uLongf size = uLongf(deflated.size());
    ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(deflated.data()), &size,
                        reinterpret_cast<const Bytef*>(text.data()), uLong(text.size()), 9),
              Z_OK);
    deflated.resize(size);
    std::string chunks;
    for (int i = 0; i < 200; ++i) {
        chunks += Chunk("zTXt", std::string("Comment\0\0", 9) + deflated);
        chunks += Chunk("iTXt", std::string("Comment\0\1\0\0\0", 12) + deflated);
    }
    chunks += Chunk("iCCP", std::string("icc\0\0", 5) + deflated);

    const TBitmap picture = test::MakeTestPicture(16, 16);
    std::string file = EncodePNG(picture);
    file.insert(8 + 25, chunks);  // after the signature and IHDR

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(DecodePNG(file), picture);
    // Inflating them took seconds; skipping them is a matter of checksums.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

// A 1-pixel-high bitmap with bit fields; masks R, G, B, A. headerSize 40 writes the
// masks after the header (compression 6 with four masks, 3 with three).
std::string FieldsBmp(uint32_t headerSize, int bits, uint32_t compression, const std::vector<uint32_t>& masks,
                      const std::vector<uint32_t>& pixels)
{
    std::string data;
    for (uint32_t p : pixels)
        PutLE(data, p, bits / 8);
    data.resize((data.size() + 3) / 4 * 4, '\0');
    const uint32_t after = headerSize == 40 ? uint32_t(compression == 6 ? 16 : 12) : 0;
    const uint32_t offset = 14 + headerSize + after;
    std::string s = "BM";
    PutLE(s, uint32_t(offset + data.size()), 4);
    PutLE(s, 0, 4);
    PutLE(s, offset, 4);
    PutLE(s, headerSize, 4);
    PutLE(s, uint32_t(pixels.size()), 4);
    PutLE(s, 1, 4);
    PutLE(s, 1, 2);
    PutLE(s, uint32_t(bits), 2);
    PutLE(s, compression, 4);
    PutLE(s, uint32_t(data.size()), 4);
    s += std::string(16, '\0');
    std::string rest(headerSize - 40 + after, '\0');
    for (size_t i = 0; i < masks.size() && i * 4 < rest.size(); ++i)
        for (int k = 0; k < 4; ++k)
            rest[i * 4 + size_t(k)] = char((masks[i] >> (8 * k)) & 0xFF);
    return s + rest + data;
}

TEST(CodecAgreement, BmpAlphaMasksAreCompositedOntoWhite)
{
    const std::vector<uint32_t> argb32 = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    const std::vector<uint32_t> argb1555 = {0x7C00, 0x3E0, 0x1F, 0x8000};
    const std::vector<uint32_t> argb4444 = {0xF00, 0xF0, 0xF, 0xF000};
    struct Case {
        const char* name;
        std::string file;
        std::vector<TPixel> expected;
    } cases[] = {
        {"32-bit v5 header", FieldsBmp(124, 32, 3, argb32, {0x000000FF, 0xCB0000FF, 0xFFFF0000, 0x80102030}),
         {{255, 255, 255}, {52, 52, 255}, {255, 0, 0}, {135, 143, 151}}},
        {"32-bit v4 header", FieldsBmp(108, 32, 3, argb32, {0x00FFFFFF, 0xFF123456}),
         {{255, 255, 255}, {0x12, 0x34, 0x56}}},
        {"32-bit v3 header", FieldsBmp(56, 32, 3, argb32, {0x00000000, 0xFF00FF00}), {{255, 255, 255}, {0, 255, 0}}},
        {"40-byte header with four masks", FieldsBmp(40, 32, 6, argb32, {0x000000FF, 0xCB0000FF}),
         {{255, 255, 255}, {52, 52, 255}}},
        {"ARGB1555", FieldsBmp(124, 16, 3, argb1555, {0x001F, 0x801F, 0x7C00}),
         {{255, 255, 255}, {0, 0, 255}, {255, 255, 255}}},
        {"ARGB4444", FieldsBmp(56, 16, 3, argb4444, {0x800F, 0xF0F0, 0x0F00}),
         {{119, 119, 255}, {0, 255, 0}, {255, 255, 255}}},
        // No alpha mask declared: the fourth byte is padding, whatever it holds.
        {"32-bit without an alpha mask", FieldsBmp(124, 32, 3, {0xFF0000, 0xFF00, 0xFF, 0}, {0x000000FF, 0x7F00FF00}),
         {{0, 0, 255}, {0, 255, 0}}},
        {"32-bit BI_RGB with a v5 header", FieldsBmp(124, 32, 0, argb32, {0x000000FF}), {{0, 0, 255}}},
        // Writers that declare the mask and leave every alpha 0 mean an opaque picture.
        {"alpha declared, all zero", FieldsBmp(124, 32, 3, argb32, {0x000000FF, 0x00FF0000}),
         {{0, 0, 255}, {255, 0, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TBitmap b = DecodeBMP(c.file);
        ASSERT_EQ(b.Width(), int(c.expected.size()));
        for (int x = 0; x < b.Width(); ++x)
            EXPECT_EQ(At(b, x, 0), c.expected[size_t(x)]) << x;
    }
}

} // namespace
} // namespace quillon
