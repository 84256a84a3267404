#include "imaging/codecs.h"

#include "common/error.h"
#include "imaging/gifwriter.h"
#include "imaging/quantizer.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include <gif_lib.h>

namespace quillon {

namespace {

[[noreturn]] void Fail(int code)
{
    const char* text = GifErrorString(code);
    throw QuillonError(std::string("GIF: ") + (text ? text : "unknown error"));
}

struct TMemoryReader {
    std::string_view data;
    size_t pos = 0;
};

int ReadMemory(GifFileType* gif, GifByteType* buffer, int length)
{
    auto* reader = static_cast<TMemoryReader*>(gif->UserData);
    size_t n = std::min(static_cast<size_t>(length < 0 ? 0 : length), reader->data.size() - reader->pos);
    std::memcpy(buffer, reader->data.data() + reader->pos, n);
    reader->pos += n;
    return static_cast<int>(n);
}

struct TCloseReader {
    void operator()(GifFileType* gif) const
    {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using TGifReaderPtr = std::unique_ptr<GifFileType, TCloseReader>;

// Skips extensions up to the first image, keeping the transparent index of a graphic
// control block that precedes it (-1 for none).
int SeekFirstImage(GifFileType* gif)
{
    int transparent = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR)
            Fail(gif->Error);
        if (type == IMAGE_DESC_RECORD_TYPE)
            return transparent;
        if (type == TERMINATE_RECORD_TYPE)
            throw QuillonError("GIF: the file holds no image");
        if (type != EXTENSION_RECORD_TYPE)
            continue;
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif, &code, &block) == GIF_ERROR)
            Fail(gif->Error);
        GraphicsControlBlock gcb;
        if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] == 4
            && DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK)
            transparent = gcb.TransparentColor;
        while (block)
            if (DGifGetExtensionNext(gif, &block) == GIF_ERROR)
                Fail(gif->Error);
    }
}

// Draws one decoded row of the frame at row y of the frame; the parts outside the screen
// are dropped, but every index is checked so a damaged file is never half accepted.
void PutFrameRow(const std::vector<GifPixelType>& line, const GifImageDesc& frame, const ColorMapObject& map,
                 int transparent, int y, TBitmap& out)
{
    for (GifPixelType index : line)
        if (index >= map.ColorCount)
            throw QuillonError("GIF: a pixel's colour index lies outside the palette");
    int screenY = frame.Top + y;
    if (screenY >= out.Height())
        return;
    int right = std::min(frame.Left + frame.Width, out.Width());
    uint8_t* p = out.Pixel(std::min(frame.Left, out.Width()), screenY);
    for (int x = frame.Left; x < right; ++x, p += 3) {
        GifPixelType index = line[static_cast<size_t>(x - frame.Left)];
        if (index == transparent)
            continue;
        const GifColorType& c = map.Colors[index];
        p[0] = c.Red;
        p[1] = c.Green;
        p[2] = c.Blue;
    }
}

void DecodeFrame(GifFileType* gif, int transparent, TBitmap& out)
{
    const GifImageDesc& frame = gif->Image;
    const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    if (!map)
        throw QuillonError("GIF: the image has no palette");
    if (frame.Width <= 0 || frame.Height <= 0)
        return;
    CheckPictureDimensions(frame.Width, frame.Height);
    std::vector<GifPixelType> line(static_cast<size_t>(frame.Width));
    auto readRow = [&](int y) {
        if (DGifGetLine(gif, line.data(), frame.Width) == GIF_ERROR)
            Fail(gif->Error);
        PutFrameRow(line, frame, *map, transparent, y, out);
    };
    if (!frame.Interlace) {
        for (int y = 0; y < frame.Height; ++y)
            readRow(y);
        return;
    }
    static const int start[] = {0, 4, 2, 1};
    static const int step[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = start[pass]; y < frame.Height; y += step[pass])
            readRow(y);
}

} // namespace

TBitmap DecodeGIF(std::string_view data)
{
    TMemoryReader reader{data};
    int error = 0;
    TGifReaderPtr gif(DGifOpen(&reader, ReadMemory, &error));
    if (!gif)
        Fail(error);
    int transparent = SeekFirstImage(gif.get());
    if (DGifGetImageDesc(gif.get()) == GIF_ERROR)
        Fail(gif->Error);
    int width = gif->SWidth, height = gif->SHeight;
    if (width <= 0 || height <= 0) { // no screen given: the frame is the picture
        width = gif->Image.Left + gif->Image.Width;
        height = gif->Image.Top + gif->Image.Height;
    }
    CheckPictureDimensions(width, height);
    TBitmap out;
    out.ResizeForOverwrite(width, height);
    std::fill_n(out.Data(), out.SizeInBytes(), uint8_t{255});
    DecodeFrame(gif.get(), transparent, out);
    return out;
}

std::string EncodeGIF(const TBitmap& picture, const TGIFSettings& settings)
{
    if (picture.Empty())
        throw QuillonError("GIF: the picture is empty");
    if (picture.Width() > 65535 || picture.Height() > 65535)
        throw QuillonError("GIF: a GIF picture can be at most 65535 pixels wide and high");
    int bits = std::clamp(settings.bitsPerPixel, 3, 8);
    TIndexedPicture indexed = OctreePalette(picture, 1 << bits);
    // Each stretch of rows is compressed on the thread that mapped it, right after.
    std::vector<TLzwStretch> stretches(2, TLzwStretch(bits));
    int used = 1;
    MapToPalette(picture, indexed, settings.dither, [&](int stretch, int top, int bottom) {
        const size_t width = static_cast<size_t>(indexed.width);
        stretches[static_cast<size_t>(stretch)].Put(indexed.indexes.data() + static_cast<size_t>(top) * width,
                                                    static_cast<size_t>(bottom - top) * width);
        if (stretch == 1)
            used = 2;
    });
    stretches.erase(stretches.begin() + used, stretches.end());
    std::string file;
    file.reserve(indexed.indexes.size() + 1024);
    TGifWriter writer(file, picture.Width(), picture.Height(), bits, indexed.palette);
    writer.Finish(stretches);
    return file;
}

} // namespace quillon
