// Windows bitmaps are read by hand: every offset and size in the headers is checked
// against the file before it is used, in 64-bit arithmetic so nothing can wrap.
#include "imaging/codecs.h"

#include "common/error.h"
#include "imaging/quantizer.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstddef>
#include <vector>

namespace quillon {

namespace {

enum : uint32_t { kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiAlphaBitfields = 6 };

[[noreturn]] void Fail(const std::string& what)
{
    throw QuillonError("BMP: " + what);
}

class TBytes {
public:
    explicit TBytes(std::string_view data) : data_(data) {}
    size_t Size() const { return data_.size(); }
    uint8_t U8(uint64_t pos) const
    {
        Need(pos, 1);
        return static_cast<uint8_t>(data_[pos]);
    }
    uint16_t U16(uint64_t pos) const { return static_cast<uint16_t>(U8(pos) | U8(pos + 1) << 8); }
    uint32_t U32(uint64_t pos) const { return static_cast<uint32_t>(U16(pos)) | static_cast<uint32_t>(U16(pos + 2)) << 16; }
    int32_t S32(uint64_t pos) const { return static_cast<int32_t>(U32(pos)); }
    const uint8_t* At(uint64_t pos, uint64_t length) const
    {
        Need(pos, length);
        return reinterpret_cast<const uint8_t*>(data_.data()) + pos;
    }
    void Need(uint64_t pos, uint64_t length) const
    {
        if (pos > data_.size() || length > data_.size() - pos)
            Fail("the file is truncated");
    }

private:
    std::string_view data_;
};

// One channel of a bit-field pixel: its mask's position and the largest value it holds.
struct TChannelMask {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;

    explicit TChannelMask(uint32_t m = 0) : mask(m)
    {
        if (!m)
            return;
        shift = std::countr_zero(m);
        max = m >> shift;
        if ((max & (max + 1)) != 0)
            Fail("a colour mask has gaps");
    }
    uint8_t Extract(uint32_t pixel) const
    {
        if (!max)
            return 0;
        return static_cast<uint8_t>((static_cast<uint64_t>((pixel & mask) >> shift) * 255 + max / 2) / max);
    }
};

struct THeader {
    uint64_t pixelOffset = 0;
    int width = 0;
    int height = 0;
    bool topDown = false;
    int bits = 0;
    uint32_t compression = kBiRgb;
    std::vector<TRGB> palette;
    TChannelMask masks[3];
    TChannelMask alpha;
    // Set when the alpha mask is declared and used: transparent pixels become white.
    bool composite = false;
};

bool ValidCombination(int bits, uint32_t compression)
{
    switch (compression) {
    case kBiRgb: return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    case kBiRle8: return bits == 8;
    case kBiRle4: return bits == 4;
    case kBiBitfields:
    case kBiAlphaBitfields: return bits == 16 || bits == 32;
    default: return false;
    }
}

// Bit-field masks sit in the larger headers, or right after a 40-byte one. Without them
// 16 bits are 5-5-5 and 32 bits are B, G, R, unused. An alpha mask follows the three
// in headers of 56 bytes and more, and after a 40-byte one when the compression says so.
void ReadMasks(const TBytes& file, uint32_t headerSize, THeader& h)
{
    uint32_t masks[3] = {0x00FF0000, 0x0000FF00, 0x000000FF};
    if (h.bits == 16)
        masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    if (h.compression == kBiBitfields || h.compression == kBiAlphaBitfields)
        for (int c = 0; c < 3; ++c)
            masks[c] = file.U32(14 + 40 + 4 * static_cast<uint64_t>(c));
    for (int c = 0; c < 3; ++c) {
        if (h.bits == 16 && masks[c] > 0xFFFF)
            Fail("a colour mask is wider than the pixel");
        h.masks[c] = TChannelMask(masks[c]);
    }
    const bool fields = h.compression == kBiBitfields || h.compression == kBiAlphaBitfields;
    if (fields && (headerSize >= 56 || h.compression == kBiAlphaBitfields)) {
        uint32_t alpha = file.U32(14 + 40 + 12);
        if (h.bits == 16)
            alpha &= 0xFFFF;
        h.alpha = TChannelMask(alpha);
    }
}

// The palette follows the headers; a file may list fewer colours than its depth allows,
// and then no more than fit before the pixels are taken.
void ReadPalette(const TBytes& file, uint64_t start, int entrySize, uint32_t used, THeader& h)
{
    uint64_t count = used && used < (1u << h.bits) ? used : (1u << h.bits);
    if (h.pixelOffset > start)
        count = std::min<uint64_t>(count, (h.pixelOffset - start) / static_cast<uint64_t>(entrySize));
    const uint8_t* p = file.At(start, count * static_cast<uint64_t>(entrySize));
    for (uint64_t i = 0; i < count; ++i, p += entrySize)
        h.palette.push_back(TRGB{p[2], p[1], p[0]});
    if (h.palette.empty())
        Fail("the palette is empty");
}

THeader ReadHeader(const TBytes& file)
{
    if (file.Size() < 26 || file.U8(0) != 'B' || file.U8(1) != 'M')
        Fail("not a Windows bitmap");
    THeader h;
    h.pixelOffset = file.U32(10);
    uint32_t headerSize = file.U32(14);
    int64_t width = 0, height = 0;
    uint32_t used = 0;
    uint64_t paletteStart = 14 + static_cast<uint64_t>(headerSize);
    if (headerSize == 12) {
        width = file.U16(18);
        height = file.U16(20);
        h.bits = file.U16(24);
    } else if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108 || headerSize == 124) {
        file.Need(0, paletteStart);
        width = file.S32(18);
        height = file.S32(22);
        h.bits = file.U16(28);
        h.compression = file.U32(30);
        used = file.U32(46);
        if (headerSize == 40 && h.compression == kBiBitfields)
            paletteStart += 12;
        if (headerSize == 40 && h.compression == kBiAlphaBitfields)
            paletteStart += 16;
    } else {
        Fail("unsupported header size " + std::to_string(headerSize));
    }
    if (!ValidCombination(h.bits, h.compression))
        Fail("unsupported bit depth or compression");
    h.topDown = height < 0;
    if (h.topDown && (h.compression == kBiRle8 || h.compression == kBiRle4))
        Fail("a compressed bitmap cannot be stored top-down");
    CheckPictureDimensions(width, height < 0 ? -height : height);
    h.width = static_cast<int>(width);
    h.height = static_cast<int>(height < 0 ? -height : height);
    if (h.pixelOffset < 14 + static_cast<uint64_t>(headerSize) || h.pixelOffset >= file.Size())
        Fail("the pixel data lies outside the file");
    if (h.bits <= 8)
        ReadPalette(file, paletteStart, headerSize == 12 ? 3 : 4, used, h);
    else
        ReadMasks(file, headerSize, h);
    return h;
}

uint32_t PixelAt(const uint8_t* src, int bits, int x)
{
    if (bits == 16)
        return static_cast<uint32_t>(src[2 * x] | src[2 * x + 1] << 8);
    src += 4 * static_cast<ptrdiff_t>(x);
    return static_cast<uint32_t>(src[0]) | static_cast<uint32_t>(src[1]) << 8 | static_cast<uint32_t>(src[2]) << 16 |
           static_cast<uint32_t>(src[3]) << 24;
}

class TRowWriter {
public:
    TRowWriter(uint8_t* row, const THeader& h) : p_(row), h_(h) {}
    void Index(uint32_t index)
    {
        if (index >= h_.palette.size())
            Fail("a pixel's colour index lies outside the palette");
        const TRGB& c = h_.palette[index];
        Put(c[0], c[1], c[2]);
    }
    void Masked(uint32_t pixel)
    {
        uint8_t r = h_.masks[0].Extract(pixel), g = h_.masks[1].Extract(pixel), b = h_.masks[2].Extract(pixel);
        if (h_.composite) {
            // Onto white, in the file's own coding, as PNG and GIF transparency.
            const unsigned a = h_.alpha.Extract(pixel);
            auto over = [a](uint8_t c) { return static_cast<uint8_t>((c * a + 255 * (255 - a) + 127) / 255); };
            r = over(r), g = over(g), b = over(b);
        }
        Put(r, g, b);
    }
    void Put(uint8_t r, uint8_t g, uint8_t b)
    {
        p_[0] = r;
        p_[1] = g;
        p_[2] = b;
        p_ += 3;
    }

private:
    uint8_t* p_;
    const THeader& h_;
};

void DecodeRow(const uint8_t* src, const THeader& h, uint8_t* row)
{
    TRowWriter out(row, h);
    int width = h.width;
    switch (h.bits) {
    case 1:
    case 4:
    case 8: {
        int perByte = 8 / h.bits;
        uint32_t mask = (1u << h.bits) - 1;
        for (int x = 0; x < width; ++x) {
            int shift = 8 - h.bits * (x % perByte + 1);
            out.Index((src[x / perByte] >> shift) & mask);
        }
        break;
    }
    case 16:
        for (int x = 0; x < width; ++x)
            out.Masked(PixelAt(src, 16, x));
        break;
    case 24:
        for (int x = 0; x < width; ++x, src += 3)
            out.Put(src[2], src[1], src[0]);
        break;
    case 32:
        for (int x = 0; x < width; ++x)
            out.Masked(PixelAt(src, 32, x));
        break;
    }
}

// Many writers declare an alpha mask and leave every alpha value 0; such a picture is
// meant opaque, not blank.
bool UsesAlpha(const TBytes& file, const THeader& h, uint64_t rowBytes, uint64_t stride)
{
    if (!h.alpha.mask)
        return false;
    for (int r = 0; r < h.height; ++r) {
        const uint8_t* src = file.At(h.pixelOffset + stride * static_cast<uint64_t>(r), rowBytes);
        for (int x = 0; x < h.width; ++x)
            if (PixelAt(src, h.bits, x) & h.alpha.mask)
                return true;
    }
    return false;
}

void DecodeUncompressed(const TBytes& file, THeader& h, TBitmap& out)
{
    uint64_t rowBytes = (static_cast<uint64_t>(h.width) * static_cast<uint64_t>(h.bits) + 7) / 8;
    uint64_t stride = (rowBytes + 3) / 4 * 4;
    // The last row's padding is often cut off by writers; the pixels themselves must be there.
    file.Need(h.pixelOffset, stride * static_cast<uint64_t>(h.height - 1) + rowBytes);
    h.composite = UsesAlpha(file, h, rowBytes, stride);
    out.ResizeForOverwrite(h.width, h.height);
    for (int r = 0; r < h.height; ++r) {
        const uint8_t* src = file.At(h.pixelOffset + stride * static_cast<uint64_t>(r), rowBytes);
        DecodeRow(src, h, out.Row(h.topDown ? r : h.height - 1 - r));
    }
}

// Run-length data: runs and literal strings of indexes, end-of-line, delta moves and an
// end marker. Pixels the data skips keep the first palette colour. A run or literal that
// goes past the row's end is cut there: writers cover the row's padding with the last run.
// Without a picture to draw into, the data is only checked, with the same outcome as the
// drawing: a few bytes can claim any size, so the picture is allocated only for data that
// holds up.
class TRleDecoder {
public:
    TRleDecoder(const TBytes& file, const THeader& h, TBitmap* out) : file_(file), h_(h), out_(out), pos_(h.pixelOffset) {}

    void Run()
    {
        for (;;) {
            if (pos_ + 2 > file_.Size()) {
                if (row_ >= h_.height)
                    return; // all rows written; the end marker is missing, nothing else
                Fail("the compressed data is truncated");
            }
            uint8_t count = file_.U8(pos_), value = file_.U8(pos_ + 1);
            pos_ += 2;
            if (count > 0)
                Repeat(count, value);
            else if (value == 0)
                x_ = 0, ++row_;
            else if (value == 1)
                return;
            else if (value == 2)
                Delta();
            else
                Literal(value);
        }
    }

private:
    // Where the next count pixels go (nowhere when only checking), and how many of them lie
    // inside the row.
    uint8_t* Target(int& count)
    {
        if (row_ >= h_.height)
            Fail("a run goes past the last row");
        count = std::min(count, h_.width - x_);
        uint8_t* p = count > 0 && out_ ? out_->Pixel(x_, h_.height - 1 - row_) : nullptr;
        x_ += count;
        return p;
    }
    void Check(uint32_t index) const
    {
        if (index >= h_.palette.size())
            Fail("a pixel's colour index lies outside the palette");
    }
    // A run is one colour, or two taking turns at 4 bits: each is looked up once.
    void Repeat(int count, uint8_t value)
    {
        uint8_t* p = Target(count);
        if (count <= 0)
            return;
        const uint32_t first = h_.bits == 8 ? value : value >> 4u;
        const uint32_t second = h_.bits == 8 ? value : value & 15u;
        Check(first);
        if (count > 1)
            Check(second);
        if (!p)
            return;
        const TRGB colours[2] = {h_.palette[first], h_.palette[count > 1 ? second : first]};
        for (int i = 0; i < count; ++i, p += 3) {
            const TRGB& c = colours[i % 2];
            p[0] = c[0], p[1] = c[1], p[2] = c[2];
        }
    }
    void Literal(int count)
    {
        uint64_t bytes = h_.bits == 8 ? static_cast<uint64_t>(count) : (static_cast<uint64_t>(count) + 1) / 2;
        const uint8_t* src = file_.At(pos_, bytes);
        pos_ += (bytes + 1) / 2 * 2;
        uint8_t* p = Target(count);
        const bool eight = h_.bits == 8;
        auto index = [&](int i) -> uint32_t { return eight ? src[i] : (i % 2 == 0 ? src[i / 2] >> 4 : src[i / 2] & 15); };
        // A full palette takes every index: checking would only cost time.
        if (h_.palette.size() < (size_t{1} << h_.bits))
            for (int i = 0; i < count; ++i)
                Check(index(i));
        if (!p)
            return;
        const TRGB* palette = h_.palette.data();
        for (int i = 0; i < count; ++i, p += 3) {
            const TRGB& c = palette[index(i)];
            p[0] = c[0], p[1] = c[1], p[2] = c[2];
        }
    }
    void Delta()
    {
        int dx = file_.U8(pos_), dy = file_.U8(pos_ + 1);
        pos_ += 2;
        if (dx > h_.width - x_ || dy > h_.height - row_)
            Fail("a move goes past the picture");
        x_ += dx;
        row_ += dy;
    }

    const TBytes& file_;
    const THeader& h_;
    TBitmap* out_;
    uint64_t pos_;
    int x_ = 0;
    int row_ = 0;
};

void DecodeRle(const TBytes& file, const THeader& h, TBitmap& out)
{
    TRleDecoder(file, h, nullptr).Run();
    out.ResizeForOverwrite(h.width, h.height);
    const TRGB& background = h.palette[0];
    for (int y = 0; y < h.height; ++y) {
        uint8_t* p = out.Row(y);
        for (int x = 0; x < h.width; ++x, p += 3)
            p[0] = background[0], p[1] = background[1], p[2] = background[2];
    }
    TRleDecoder(file, h, &out).Run();
}

void PutU16(std::string& s, uint16_t v)
{
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>(v >> 8));
}

void PutU32(std::string& s, uint32_t v)
{
    PutU16(s, static_cast<uint16_t>(v & 0xFFFF));
    PutU16(s, static_cast<uint16_t>(v >> 16));
}

} // namespace

TBitmap DecodeBMP(std::string_view data)
{
    TBytes file(data);
    THeader h = ReadHeader(file);
    TBitmap out;
    if (h.compression == kBiRle8 || h.compression == kBiRle4)
        DecodeRle(file, h, out);
    else
        DecodeUncompressed(file, h, out);
    return out;
}

std::string EncodeBMP(const TBitmap& picture)
{
    if (picture.Empty())
        throw QuillonError("BMP: the picture is empty");
    uint64_t stride = (picture.Stride() + 3) / 4 * 4;
    uint64_t imageSize = stride * static_cast<uint64_t>(picture.Height());
    if (imageSize > UINT32_MAX - 54)
        Fail("the picture is too large for a Windows bitmap");
    std::string file;
    file.reserve(54 + imageSize);
    file += "BM";
    PutU32(file, static_cast<uint32_t>(54 + imageSize));
    PutU32(file, 0);
    PutU32(file, 54);
    PutU32(file, 40);
    PutU32(file, static_cast<uint32_t>(picture.Width()));
    PutU32(file, static_cast<uint32_t>(picture.Height()));
    PutU16(file, 1);
    PutU16(file, 24);
    PutU32(file, kBiRgb);
    PutU32(file, static_cast<uint32_t>(imageSize));
    PutU32(file, 2835); // 72 dots per inch
    PutU32(file, 2835);
    PutU32(file, 0);
    PutU32(file, 0);
    std::string row(stride, '\0');
    for (int y = picture.Height() - 1; y >= 0; --y) {
        const uint8_t* src = picture.Row(y);
        for (int x = 0; x < picture.Width(); ++x, src += 3) {
            row[static_cast<size_t>(x) * 3] = static_cast<char>(src[2]);
            row[static_cast<size_t>(x) * 3 + 1] = static_cast<char>(src[1]);
            row[static_cast<size_t>(x) * 3 + 2] = static_cast<char>(src[0]);
        }
        file += row;
    }
    return file;
}

} // namespace quillon
