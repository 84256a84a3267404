#pragma once

// Files made with the libraries directly, in variants the program's own encoders never
// write, so the decoders meet what other programs produce.

#include "imaging/bitmap.h"

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>

namespace quillon::test {

// components: 1 grey, 3 RGB, 4 CMYK; pixel(x, y, c) gives each sample.
inline std::string WriteJpeg(int width, int height, int components, const std::function<uint8_t(int, int, int)>& pixel,
                             const std::function<void(jpeg_compress_struct&)>& setup = {})
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    if (setup)
        setup(cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(size_t(width * components));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < components; ++c)
                row[size_t(x * components + c)] = pixel(x, y, c);
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&cinfo, &p, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::string file(reinterpret_cast<char*>(buffer), size);
    std::free(buffer);
    return file;
}

struct TPngLayout {
    int colorType = PNG_COLOR_TYPE_RGB;
    int bitDepth = 8;
    bool interlaced = false;
    std::vector<png_color> palette;
    std::vector<png_byte> paletteAlpha;
};

// rows: the raw samples of each row as libpng expects them (16-bit samples big-endian).
inline std::string WritePng(int width, const std::vector<std::vector<uint8_t>>& rows, const TPngLayout& spec)
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
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(rows.size()), spec.bitDepth, spec.colorType,
                 spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!spec.palette.empty())
        png_set_PLTE(png, info, spec.palette.data(), int(spec.palette.size()));
    if (!spec.paletteAlpha.empty())
        png_set_tRNS(png, info, spec.paletteAlpha.data(), int(spec.paletteAlpha.size()), nullptr);
    png_write_info(png, info);
    std::vector<png_bytep> pointers;
    for (const auto& row : rows)
        pointers.push_back(const_cast<png_bytep>(row.data()));
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return file;
}

struct TGifFrame {
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    int transparent = -1;
    std::vector<uint8_t> indexes; // rows top first
};

inline std::string WriteGif(int screenWidth, int screenHeight, const std::vector<GifColorType>& colours,
                            const TGifFrame& frame)
{
    std::string file;
    int error = 0;
    GifFileType* gif = EGifOpen(&file,
                                [](GifFileType* g, const GifByteType* data, int length) {
                                    static_cast<std::string*>(g->UserData)
                                        ->append(reinterpret_cast<const char*>(data), size_t(length));
                                    return length;
                                },
                                &error);
    ColorMapObject* map = GifMakeMapObject(int(colours.size()), colours.data());
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, screenWidth, screenHeight, 8, 0, map);
    if (frame.transparent >= 0) {
        GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, frame.transparent};
        GifByteType block[4];
        EGifGCBToExtension(&gcb, block);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, block);
    }
    EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height, frame.interlaced, nullptr);
    auto put = [&](int y) {
        EGifPutLine(gif, const_cast<GifPixelType*>(frame.indexes.data() + size_t(y * frame.width)), frame.width);
    };
    if (frame.interlaced) {
        const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int y = start[pass]; y < frame.height; y += step[pass])
                put(y);
    } else {
        for (int y = 0; y < frame.height; ++y)
            put(y);
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return file;
}

} // namespace quillon::test
