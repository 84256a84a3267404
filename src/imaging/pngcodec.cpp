// Reading uses libpng's full interface: its simplified one treats 16-bit samples as linear
// light and blends transparency in linear space, which brightens ordinary 16-bit files.
// Library errors longjmp back to the function that called setjmp; those functions hold
// nothing with a destructor, and the rest of the work happens between them in plain C++.
// Writing uses the simplified interface, which keeps its setjmp inside the library.
#include "imaging/codecs.h"

#include "common/error.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include <png.h>

namespace quillon {

namespace {

struct TPngReader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::string_view data;
    size_t pos = 0;
    char message[200] = "";
    std::vector<png_bytep> rows;
    bool alpha = false;  // rows come as RGBA and are blended onto white afterwards
    bool interlaced = false;
    std::vector<uint8_t> rgba;  // one RGBA row, or the whole picture when interlaced

    ~TPngReader() { png_destroy_read_struct(&png, &info, nullptr); }
};

void OnError(png_structp png, png_const_charp text)
{
    auto* r = static_cast<TPngReader*>(png_get_error_ptr(png));
    std::snprintf(r->message, sizeof r->message, "%s", text);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void ReadMemory(png_structp png, png_bytep out, size_t length)
{
    auto* r = static_cast<TPngReader*>(png_get_io_ptr(png));
    if (length > r->data.size() - r->pos)
        png_error(png, "the file is truncated");
    std::memcpy(out, r->data.data() + r->pos, length);
    r->pos += length;
}

// Only the chunks that make the pixels are read. Text, ICC profiles and the other
// ancillary chunks are skipped unread, so hundreds of compressed text chunks cost no
// inflating; gamma and colour-space chunks are ignored on purpose (see ReadHeader).
void SkipAncillaryChunks(png_structp png)
{
    static const png_byte kSkipped[] = "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0"
                                       "sBIT\0sCAL\0sPLT\0sRGB\0tEXt\0tIME\0zTXt";
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kSkipped, static_cast<int>(sizeof kSkipped / 5));
    // No side can be longer than the whole picture may be large; the pixel count itself
    // is checked before anything is allocated.
    png_set_user_limits(png, static_cast<png_uint_32>(kMaxPicturePixels), static_cast<png_uint_32>(kMaxPicturePixels));
    png_set_chunk_cache_max(png, 128);
    png_set_chunk_malloc_max(png, 8 * 1024 * 1024);
}

// Everything becomes 8-bit RGB, or RGBA when the file has transparency. No gamma is
// applied: pixels stay in the file's own coding, and transparency is blended onto white
// in that coding too, as every browser and viewer shows it.
bool ReadHeader(TPngReader& r)
{
    if (setjmp(png_jmpbuf(r.png)))
        return false;
    png_set_read_fn(r.png, &r, ReadMemory);
    SkipAncillaryChunks(r.png);
    png_read_info(r.png, r.info);
    png_set_expand(r.png);
    png_set_strip_16(r.png);
    png_set_gray_to_rgb(r.png);
    r.interlaced = png_set_interlace_handling(r.png) > 1;
    png_read_update_info(r.png, r.info);
    const int channels = png_get_channels(r.png, r.info);
    if ((channels != 3 && channels != 4) || png_get_bit_depth(r.png, r.info) != 8)
        png_error(r.png, "unexpected pixel layout");
    r.alpha = channels == 4;
    return true;
}

void BlendOntoWhite(const uint8_t* rgba, uint8_t* rgb, int width)
{
    for (int x = 0; x < width; ++x, rgba += 4, rgb += 3) {
        const unsigned a = rgba[3];
        for (int c = 0; c < 3; ++c)
            rgb[c] = static_cast<uint8_t>((rgba[c] * a + 255 * (255 - a) + 127) / 255);
    }
}

bool ReadRows(TPngReader& r)
{
    if (setjmp(png_jmpbuf(r.png)))
        return false;
    png_read_image(r.png, r.rows.data());
    return true;
}

// A non-interlaced file with transparency goes through one RGBA row at a time.
bool ReadRowsBlended(TPngReader& r, TBitmap& out)
{
    if (setjmp(png_jmpbuf(r.png)))
        return false;
    for (int y = 0; y < out.Height(); ++y) {
        png_read_row(r.png, r.rgba.data(), nullptr);
        BlendOntoWhite(r.rgba.data(), out.Row(y), out.Width());
    }
    return true;
}

[[noreturn]] void Fail(const char* text)
{
    throw QuillonError(std::string("PNG: ") + text);
}

} // namespace

TBitmap DecodePNG(std::string_view data)
{
    TPngReader r;
    r.data = data;
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r, OnError, OnWarning);
    if (!r.png || !(r.info = png_create_info_struct(r.png)))
        Fail("out of memory");
    if (!ReadHeader(r))
        Fail(r.message);
    CheckPictureDimensions(png_get_image_width(r.png, r.info), png_get_image_height(r.png, r.info));
    TBitmap out;
    out.ResizeForOverwrite(static_cast<int>(png_get_image_width(r.png, r.info)),
                           static_cast<int>(png_get_image_height(r.png, r.info)));
    const size_t rgbaRow = static_cast<size_t>(out.Width()) * 4;
    if (!r.alpha) {
        for (int y = 0; y < out.Height(); ++y)
            r.rows.push_back(out.Row(y));
        if (!ReadRows(r))
            Fail(r.message);
    } else if (!r.interlaced) {
        r.rgba.resize(rgbaRow);
        if (!ReadRowsBlended(r, out))
            Fail(r.message);
    } else {
        // Later passes fill in earlier rows, so the whole RGBA picture is kept until the end.
        r.rgba.resize(rgbaRow * static_cast<size_t>(out.Height()));
        for (int y = 0; y < out.Height(); ++y)
            r.rows.push_back(r.rgba.data() + rgbaRow * static_cast<size_t>(y));
        if (!ReadRows(r))
            Fail(r.message);
        for (int y = 0; y < out.Height(); ++y)
            BlendOntoWhite(r.rows[static_cast<size_t>(y)], out.Row(y), out.Width());
    }
    return out;
}

std::string EncodePNG(const TBitmap& picture)
{
    if (picture.Empty())
        throw QuillonError("PNG: the picture is empty");
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(picture.Width());
    image.height = static_cast<png_uint_32>(picture.Height());
    image.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(image);
    std::string file(size, '\0');
    if (!png_image_write_to_memory(&image, file.data(), &size, 0, picture.Data(),
                                   static_cast<png_int_32>(picture.Stride()), nullptr))
        Fail(image.message);
    file.resize(size);
    return file;
}

} // namespace quillon
