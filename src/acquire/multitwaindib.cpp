// A packed bitmap is a Windows bitmap file without its 14-byte file header, so the
// bitmap decoder (which checks every offset against the data) reads it once the file
// header is put back in front; only where the rows start follows the TWAIN rule.
#include "acquire/multitwaindib.h"

#include "common/error.h"
#include "imaging/codecs.h"
#include "imaging/pictureformat.h"

#include <cstdlib>
#include <string>
#include <string_view>

namespace quillon {

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;
constexpr size_t kFileHeaderSize = 14;
constexpr const char* kPrefix = "The scanned picture cannot be read: ";

[[noreturn]] void Fail(const std::string& what)
{
    throw QuillonError(kPrefix + what);
}

uint16_t U16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t U32(const uint8_t* p)
{
    return static_cast<uint32_t>(U16(p)) | static_cast<uint32_t>(U16(p + 2)) << 16;
}

struct TLayout {
    uint64_t pixelOffset = 0; // from the start of the block
    uint64_t total = 0;
};

// Everything here is read from the first 40 bytes, which the caller has made sure exist.
TLayout Layout(const uint8_t* dib)
{
    uint32_t headerSize = U32(dib);
    if (headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 108 && headerSize != 124)
        Fail("its header of " + std::to_string(headerSize) + " bytes is not a bitmap information header");
    int64_t width = static_cast<int32_t>(U32(dib + 4));
    int64_t height = static_cast<int32_t>(U32(dib + 8));
    uint16_t bits = U16(dib + 14);
    uint32_t compression = U32(dib + 16);
    uint32_t used = U32(dib + 32);
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        Fail(std::to_string(bits) + " bits per pixel");
    if (compression != kBiRgb && !(compression == kBiBitfields && (bits == 16 || bits == 32)))
        Fail("it is compressed");
    try {
        CheckPictureDimensions(width, height < 0 ? -height : height);
    } catch (const QuillonError& e) {
        Fail(e.what());
    }
    uint64_t entries = used != 0 ? used : (bits <= 8 ? uint64_t{1} << bits : 257);
    if (entries > 256)
        entries = 0;
    uint64_t masks = headerSize == 40 && compression == kBiBitfields ? 12 : 0;
    uint64_t stride = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
    TLayout layout;
    layout.pixelOffset = headerSize + masks + entries * 4;
    layout.total = layout.pixelOffset + stride * static_cast<uint64_t>(height < 0 ? -height : height);
    return layout;
}

} // namespace

size_t PackedDIBSize(const uint8_t* dib)
{
    return static_cast<size_t>(Layout(dib).total);
}

TBitmap DecodePackedDIB(const uint8_t* dib, size_t size)
{
    if (size < 40)
        Fail("its header is cut short");
    TLayout layout = Layout(dib);
    if (layout.total > size)
        Fail("its pixels are cut short");
    std::string file(kFileHeaderSize + size, '\0');
    uint64_t fileSize = file.size();
    uint64_t offset = kFileHeaderSize + layout.pixelOffset;
    file[0] = 'B';
    file[1] = 'M';
    for (int i = 0; i < 4; ++i) {
        file[2 + i] = static_cast<char>(fileSize >> (8 * i));
        file[10 + i] = static_cast<char>(offset >> (8 * i));
    }
    std::copy_n(dib, size, file.begin() + kFileHeaderSize);
    try {
        return DecodeBMP(file);
    } catch (const QuillonError& e) {
        std::string_view what = e.what();
        if (what.starts_with("BMP: "))
            what.remove_prefix(5);
        Fail(std::string(what));
    }
}

} // namespace quillon
