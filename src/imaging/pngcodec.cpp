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

// Everything becomes 8-bit RGB; transparency is blended onto white in the file's own
// coding, as browsers show it.
bool ReadHeader(TPngReader& r)
{
    if (setjmp(png_jmpbuf(r.png)))
        return false;
    png_set_read_fn(r.png, &r, ReadMemory);
    png_read_info(r.png, r.info);
    png_set_expand(r.png);
    png_set_strip_16(r.png);
    png_set_gray_to_rgb(r.png);
    png_color_16 white{0, 255, 255, 255, 255};
    png_set_background(r.png, &white, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
    png_set_interlace_handling(r.png);
    png_read_update_info(r.png, r.info);
    if (png_get_channels(r.png, r.info) != 3 || png_get_bit_depth(r.png, r.info) != 8)
        png_error(r.png, "unexpected pixel layout");
    return true;
}

bool ReadRows(TPngReader& r)
{
    if (setjmp(png_jmpbuf(r.png)))
        return false;
    png_read_image(r.png, r.rows.data());
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
    for (int y = 0; y < out.Height(); ++y)
        r.rows.push_back(out.Row(y));
    if (!ReadRows(r))
        Fail(r.message);
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
