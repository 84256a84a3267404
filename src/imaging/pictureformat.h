#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace quillon {

// The picture file formats in the order of the format menus and the options' file format
// choice; the values are the format indexes the menus and the options use.
enum TPictureFormat : int { pfBMP = 0, pfJPEG = 1, pfGIF = 2, pfPNG = 3 };

// ".JPG"/".JPEG" JPEG, ".GIF" GIF, ".PNG" PNG, anything else a Windows bitmap; case of
// A-Z ignored.
TPictureFormat PictureFormatOfName(std::string_view fileName);
// True for the four extensions above: the names the logo writers accept.
bool HasKnownPictureExtension(std::string_view fileName);
// ".bmp", ".jpg", ".gif", ".png"; throws QuillonError for an index outside 0..3.
std::string PictureExtension(int formatIndex);
TPictureFormat PictureFormatFromIndex(int formatIndex);

enum class TDither { None, FloydSteinberg };

// How GIFs are written. Colours are always reduced by octree quantisation to an optimal
// palette of 2^bitsPerPixel colours and the pixels always LZW-compressed; what varies is
// the depth (3..8) and whether the quantisation error is diffused.
struct TGIFSettings {
    int bitsPerPixel = 8;
    TDither dither = TDither::FloydSteinberg;
};
// The settings every GIF is written with unless a caller changes the depth.
TGIFSettings DefaultGIFSettings();

// How a JPEG keeps its colour. Subsampled (4:2:0) stores one colour sample per 2 x 2
// pixels, as logos and previews always have been written. Full (4:4:4) stores every one:
// a picture file that is encoded again at each turn would otherwise blur its colour edges
// a little further every time.
enum class TJPEGChroma { Subsampled, Full };

// How far an encoder has come, from 0 to 1 (1 once the file is complete). Called on the
// thread that encodes, a few times a second while the work goes on; a display of it may
// process the window's events there.
using TEncodeProgress = std::function<void(double done)>;

// What an encoder needs beside the picture; only the fields of the chosen format count.
struct TEncodeSettings {
    int jpegQuality = 90; // 10..100
    TJPEGChroma jpegChroma = TJPEGChroma::Subsampled;
    TGIFSettings gif = DefaultGIFSettings();
    TEncodeProgress pngProgress; // may be empty
};

// Pictures larger than this are refused before their pixels are allocated: 250 million
// pixels is 750 MB decoded, several times what any camera takes, and keeps width * height
// * 3 far from overflowing.
#ifndef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
inline constexpr int64_t kMaxPicturePixels = 250'000'000;
#else
// Fuzzing explores the decoders, not the allocator: a lower limit keeps each run short.
inline constexpr int64_t kMaxPicturePixels = 4'000'000;
#endif
// Throws QuillonError(kMsgImageTooLarge) when the size exceeds the limit, and a plain
// decoding error for a zero or negative extent.
void CheckPictureDimensions(int64_t width, int64_t height);

} // namespace quillon
