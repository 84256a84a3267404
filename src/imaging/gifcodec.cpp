#include "imaging/codecs.h"

#include "common/error.h"
#include "imaging/gifwriter.h"
#include "imaging/quantizer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

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

void CheckIndexes(const GifPixelType* line, int width, const ColorMapObject& map)
{
    if (map.ColorCount > std::numeric_limits<GifPixelType>::max())
        return; // every index a byte can hold is in the palette
    for (int x = 0; x < width; ++x)
        if (line[x] >= map.ColorCount)
            throw QuillonError("GIF: a pixel's colour index lies outside the palette");
}

// Draws one decoded row of the frame at row y of the frame; the parts outside the screen
// are dropped (its indexes were checked all the same, so a damaged file is never half
// accepted).
void PutFrameRow(const GifPixelType* line, const GifImageDesc& frame, const ColorMapObject& map, int transparent,
                 int y, TBitmap& out)
{
    int screenY = frame.Top + y;
    if (screenY >= out.Height())
        return;
    int right = std::min(frame.Left + frame.Width, out.Width());
    uint8_t* p = out.Pixel(std::min(frame.Left, out.Width()), screenY);
    for (int x = frame.Left; x < right; ++x, p += 3) {
        GifPixelType index = line[x - frame.Left];
        if (index == transparent)
            continue;
        const GifColorType& c = map.Colors[index];
        p[0] = c.Red;
        p[1] = c.Green;
        p[2] = c.Blue;
    }
}

// The frame row that comes k-th in the file.
int RowInFileOrder(int k, int height, bool interlaced)
{
    if (!interlaced)
        return k;
    static const int start[] = {0, 4, 2, 1};
    static const int step[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
        const int rows = start[pass] < height ? (height - start[pass] + step[pass] - 1) / step[pass] : 0;
        if (k < rows)
            return start[pass] + k * step[pass];
        k -= rows;
    }
    return height; // past the frame: never drawn
}

// The screen is allocated only once the file has shown an eighth of its pixels (or the
// whole frame, when that is smaller): a few dozen bytes that claim 15,800 x 15,800 pixels
// would otherwise cost 750 MB before their data runs out. Rows decoded before then are
// kept as indexes, a byte a pixel, in blocks that are neither cleared nor moved, and drawn
// when the screen is there.
class TFrameDecoder {
public:
    TFrameDecoder(GifFileType* gif, int transparent, int width, int height)
        : gif_(gif), transparent_(transparent), width_(width), height_(height)
    {
    }

    TBitmap Run()
    {
        const GifImageDesc& frame = gif_->Image;
        map_ = frame.ColorMap ? frame.ColorMap : gif_->SColorMap;
        if (!map_)
            throw QuillonError("GIF: the image has no palette");
        if (frame.Width > 0 && frame.Height > 0) {
            CheckPictureDimensions(frame.Width, frame.Height);
            DecodeRows(frame);
        }
        if (out_.Empty())
            AllocateScreen(frame);
        return std::move(out_);
    }

private:
    static constexpr size_t kBlockBytes = size_t{256} << 10;

    void DecodeRows(const GifImageDesc& frame)
    {
        const size_t width = static_cast<size_t>(frame.Width);
        const int64_t enough = std::max<int64_t>(int64_t{width_} * height_ / 8, 1);
        blockRows_ = static_cast<int>(std::clamp<size_t>(kBlockBytes / width, 1, static_cast<size_t>(frame.Height)));
        std::unique_ptr<GifPixelType[]> line;
        for (int k = 0; k < frame.Height; ++k) {
            GifPixelType* row;
            if (out_.Empty()) {
                if (k % blockRows_ == 0)
                    blocks_.emplace_back(new GifPixelType[width * static_cast<size_t>(blockRows_)]);
                row = blocks_.back().get() + width * static_cast<size_t>(k % blockRows_);
            } else {
                if (!line)
                    line.reset(new GifPixelType[width]);
                row = line.get();
            }
            if (DGifGetLine(gif_, row, frame.Width) == GIF_ERROR)
                Fail(gif_->Error);
            CheckIndexes(row, frame.Width, *map_);
            if (!out_.Empty())
                PutFrameRow(row, frame, *map_, transparent_, RowInFileOrder(k, frame.Height, frame.Interlace), out_);
            else if (int64_t{++keptRows_} * frame.Width >= enough)
                AllocateScreen(frame);
        }
    }

    // Draws the rows kept so far.
    void AllocateScreen(const GifImageDesc& frame)
    {
        out_.ResizeForOverwrite(width_, height_);
        std::fill_n(out_.Data(), out_.SizeInBytes(), uint8_t{255});
        for (int k = 0; k < keptRows_; ++k)
            PutFrameRow(blocks_[static_cast<size_t>(k / blockRows_)].get() +
                            static_cast<size_t>(frame.Width) * static_cast<size_t>(k % blockRows_),
                        frame, *map_, transparent_, RowInFileOrder(k, frame.Height, frame.Interlace), out_);
        blocks_.clear();
    }

    GifFileType* gif_;
    int transparent_;
    int width_, height_;
    const ColorMapObject* map_ = nullptr;
    int blockRows_ = 1;
    int keptRows_ = 0; // the first rows of the frame in the file's order
    std::vector<std::unique_ptr<GifPixelType[]>> blocks_;
    TBitmap out_;
};

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
    return TFrameDecoder(gif.get(), transparent, width, height).Run();
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
