// libpng's simplified interface keeps its setjmp inside the library and reports errors
// as a return value with a message, so no jump ever crosses our frames.
#include "imaging/codecs.h"

#include "common/error.h"

#include <png.h>

namespace quillon {

namespace {

[[noreturn]] void Fail(const png_image& image)
{
    throw QuillonError(std::string("PNG: ") + image.message);
}

} // namespace

TBitmap DecodePNG(std::string_view data)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data.data(), data.size()))
        Fail(image);
    try {
        CheckPictureDimensions(image.width, image.height);
    } catch (...) {
        png_image_free(&image);
        throw;
    }
    image.format = PNG_FORMAT_RGB;
    TBitmap out;
    out.ResizeForOverwrite(static_cast<int>(image.width), static_cast<int>(image.height));
    png_color white{255, 255, 255};
    if (!png_image_finish_read(&image, &white, out.Data(), static_cast<png_int_32>(out.Stride()), nullptr))
        Fail(image);
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
        Fail(image);
    file.resize(size);
    return file;
}

} // namespace quillon
