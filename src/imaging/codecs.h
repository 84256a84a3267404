#pragma once

#include "imaging/bitmap.h"
#include "imaging/pictureformat.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace quillon {

// Decoders of whole files held in memory. Each refuses damaged or hostile input
// (truncated data, lying or overflowing headers, indexes past a palette) with a
// QuillonError and checks the size against kMaxPicturePixels before allocating pixels.

// Greyscale, YCbCr, CMYK/YCCK (Adobe inverted or not), baseline and progressive. A
// progressive file with more than kMaxJPEGScans scans is refused: each scan costs a
// pass over the whole picture, so a tiny file could otherwise take minutes.
TBitmap DecodeJPEG(std::string_view data);
inline constexpr int kMaxJPEGScans = 100;

// Told about a picture while it is decoded, so its first rows can be used while the rest
// are still coming in. Calls come from the decoding thread and must not throw (they run
// between the decoder's own C frames).
class TDecodeListener {
public:
    virtual ~TDecodeListener() = default;
    // The picture has its size and pixels; none of them is final yet.
    virtual void Started(const TBitmap& picture) = 0;
    // Rows [0, rows) are final.
    virtual void RowsDone(int rows) = 0;
    // Asked between bands and scans: true ends the decode with an error, so a picture
    // nobody waits for any more stops costing a core.
    virtual bool Cancelled() const { return false; }
};

// DecodeJPEG into a picture that stays where it is, telling the listener (if any) as rows
// become final. Baseline files come in band by band; progressive ones all at the end.
void DecodeJPEGInto(std::string_view data, TBitmap& out, TDecodeListener* listener);
// The stored size a JPEG's header claims, without decoding; false when there is no
// readable header.
bool ReadJPEGSize(std::string_view data, int& width, int& height);

// Part of a JPEG as stored, decoded at 1/denominator (1, 2, 4 or 8) by the library's
// scaled DCT, which costs a fraction of a full decode: `part` is asked for in full-size
// stored pixels (top at 0: rows can only be skipped at the bottom) and comes back as
// decoded, widened to whole blocks and clipped to the picture. Rows below it are never
// entropy-decoded. Throws QuillonError as DecodeJPEG does.
struct TJPEGPart {
    int denominator = 1;
    int left = 0;
    int right = 0;
    int bottom = 0;
};
TBitmap DecodeJPEGPart(std::string_view data, TJPEGPart& part, const TDecodeListener* cancel = nullptr);
// Palette, grey, 16-bit and interlaced files; transparency is flattened onto white.
TBitmap DecodePNG(std::string_view data);
// The first frame on its logical screen (clipped to it); transparency and the screen
// outside the frame are white.
TBitmap DecodeGIF(std::string_view data);
// Windows bitmaps: 1, 4, 8, 16, 24 and 32 bits, uncompressed, RLE8, RLE4 and bit
// fields, bottom-up and top-down, 12-, 40-, 52-, 56-, 108- and 124-byte headers.
TBitmap DecodeBMP(std::string_view data);

// Encoders return the whole file; they throw QuillonError for an empty picture.
// quality clamped to 10..100
std::string EncodeJPEG(const TBitmap& picture, int quality, TJPEGChroma chroma = TJPEGChroma::Subsampled);
// The same for a picture handed over a row at a time, top first: row(y) gives row y's
// pixels, which stay valid until the next call. A caller can make the picture's rows
// while the earlier ones are compressed instead of holding all of it.
std::string EncodeJPEGRows(int width, int height, int quality, const std::function<const uint8_t*(int y)>& row,
                           TJPEGChroma chroma = TJPEGChroma::Subsampled);
// 8-bit RGB, one zlib stream; rows filtered as libpng chooses by default (the filter whose
// bytes sum smallest) and compressed with libdeflate, about as small as zlib's default
// level and several times faster. A picture of many megapixels is filtered on every core.
std::string EncodePNG(const TBitmap& picture, const TEncodeProgress& progress = {});
std::string EncodeGIF(const TBitmap& picture, const TGIFSettings& settings);
std::string EncodeBMP(const TBitmap& picture); // 24 bits, bottom-up

} // namespace quillon
