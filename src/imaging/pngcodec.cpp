// Reading uses libpng's full interface: its simplified one treats 16-bit samples as linear
// light and blends transparency in linear space, which brightens ordinary 16-bit files.
// Library errors longjmp back to the function that called setjmp; those functions hold
// nothing with a destructor, and the rest of the work happens between them in plain C++.
// Writing is done here: libpng compresses with zlib, whose default level made a 24-megapixel
// PNG take ten seconds; libdeflate is several times faster for about the same size.
#include "imaging/codecs.h"

#include "common/error.h"
#include "common/workpool.h"
#include "imaging/pngfilter.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include <libdeflate.h>
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
    int passes = 1;
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
    r.passes = png_set_interlace_handling(r.png);
    r.interlaced = r.passes > 1;
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

// Deflate turns a byte into 1032 at most (two bits for each 258-byte match). A file whose
// remaining bytes cannot hold the pixels its header claims is bound to fail, and a few
// dozen bytes may claim 15,800 x 15,800: the picture is not allocated for such a file.
bool CannotHoldItsPixels(const TPngReader& r)
{
    static const int kChannels[] = {1, 0, 3, 1, 2, 0, 4}; // by colour type
    const int depth = static_cast<uint8_t>(r.data[24]), colourType = static_cast<uint8_t>(r.data[25]);
    const uint64_t bits = uint64_t{png_get_image_width(r.png, r.info)} * png_get_image_height(r.png, r.info) *
                          static_cast<uint64_t>(depth * kChannels[std::min(colourType, 6)]);
    return bits / 8 > 1032 * static_cast<uint64_t>(r.data.size() - r.pos);
}

// Reads every row into one row's room, so the library fails as it would reading them
// into the picture, with the same message.
bool ReadRowsAway(TPngReader& r)
{
    if (setjmp(png_jmpbuf(r.png)))
        return false;
    r.rgba.resize(png_get_rowbytes(r.png, r.info));
    for (int pass = 0; pass < r.passes; ++pass)
        for (png_uint_32 y = 0; y < png_get_image_height(r.png, r.info); ++y)
            png_read_row(r.png, r.rgba.data(), nullptr);
    return true;
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
    if (CannotHoldItsPixels(r)) {
        if (!ReadRowsAway(r))
            Fail(r.message);
        Fail("not enough image data");
    }
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

namespace {

// libdeflate's level 3: the 24-megapixel photo of the benchmarks comes out 2 % larger than
// at zlib's default level 6, in a third of the time of libdeflate's level 6 and a tenth of
// zlib's. Its levels 1 and 2 made it 7 and 3 % larger.
constexpr int kDeflateLevel = 3;
// Below this many bytes of rows a second core costs more than it saves.
constexpr size_t kBytesForThreads = size_t{1} << 20;
// The compression is timed on this much of the data first, to tell how far it has come
// while the rest goes on in one call.
constexpr size_t kSampleBytes = size_t{1} << 20;
constexpr size_t kIdatBytes = size_t{1} << 20;

void PutU32BigEndian(std::string& s, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        s.push_back(static_cast<char>((v >> shift) & 0xFF));
}

void PutChunk(std::string& file, const char* type, const uint8_t* data, size_t length)
{
    PutU32BigEndian(file, static_cast<uint32_t>(length));
    const size_t start = file.size();
    file.append(type, 4);
    file.append(reinterpret_cast<const char*>(data), length);
    PutU32BigEndian(file, libdeflate_crc32(0, file.data() + start, length + 4));
}

// Every row filtered, one after the other in the layout zlib compresses. Rows are filtered
// from the picture's own bytes, so bands of them go to the cores independently.
std::unique_ptr<uint8_t[]> FilterRows(const TBitmap& picture, const TEncodeProgress& progress, double share)
{
    const size_t bytes = picture.Stride();
    const int height = picture.Height();
    std::unique_ptr<uint8_t[]> filtered(new uint8_t[(bytes + 1) * static_cast<size_t>(height)]);
    const std::vector<uint8_t> zeros(bytes, 0);
    const int threads = bytes * static_cast<size_t>(height) < kBytesForThreads
                            ? 1
                            : std::max(static_cast<int>(std::thread::hardware_concurrency()), 1);
    const std::thread::id caller = std::this_thread::get_id();
    std::atomic<int> done{0};
    TWorkPool::Shared().For(height, threads, 64, [&](int32_t begin, int32_t end) {
        std::vector<uint8_t> scratch(4 * bytes);
        for (int32_t y = begin; y < end; ++y)
            png::FilterRow(picture.Row(y), y > 0 ? picture.Row(y - 1) : zeros.data(), bytes, scratch.data(),
                      filtered.get() + (bytes + 1) * static_cast<size_t>(y));
        const int rows = done += end - begin;
        if (progress && std::this_thread::get_id() == caller)
            progress(share * rows / height);
    });
    return filtered;
}

struct TFreeCompressor {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

// The zlib stream of `size` bytes into `out`, which holds the compressor's bound. With a
// progress display the stream is made on another thread while this one tells how far it
// has likely come: libdeflate takes the whole buffer in one call, and a sample of it
// timed first gives the pace.
size_t Compress(libdeflate_compressor* compressor, const uint8_t* data, size_t size, uint8_t* out, size_t room,
                const TEncodeProgress& progress, double from)
{
    if (!progress || size <= 2 * kSampleBytes)
        return libdeflate_zlib_compress(compressor, data, size, out, room);
    const auto start = std::chrono::steady_clock::now();
    const size_t sampleRoom = libdeflate_zlib_compress_bound(compressor, kSampleBytes);
    std::unique_ptr<uint8_t[]> sample(new uint8_t[sampleRoom]);
    libdeflate_zlib_compress(compressor, data, kSampleBytes, sample.get(), sampleRoom);
    const std::chrono::duration<double> sampleTime = std::chrono::steady_clock::now() - start;
    const double expected = std::max(sampleTime.count() * static_cast<double>(size) / kSampleBytes, 1e-3);
    auto stream = std::async(std::launch::async,
                             [&] { return libdeflate_zlib_compress(compressor, data, size, out, room); });
    const auto begun = std::chrono::steady_clock::now();
    while (stream.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - begun;
        progress(from + (0.99 - from) * std::min(elapsed.count() / expected, 0.95));
    }
    return stream.get();
}

} // namespace

std::string EncodePNG(const TBitmap& picture, const TEncodeProgress& progress)
{
    if (picture.Empty())
        throw QuillonError("PNG: the picture is empty");
    // Filtering is a tenth of the work or less; the compression is the rest.
    constexpr double kFilterShare = 0.1;
    if (progress)
        progress(0);
    const size_t size = (picture.Stride() + 1) * static_cast<size_t>(picture.Height());
    std::unique_ptr<uint8_t[]> filtered = FilterRows(picture, progress, kFilterShare);
    const std::unique_ptr<libdeflate_compressor, TFreeCompressor> compressor(libdeflate_alloc_compressor(kDeflateLevel));
    if (!compressor)
        Fail("out of memory");
    const size_t room = libdeflate_zlib_compress_bound(compressor.get(), size);
    // Left uninitialised: only the pages the stream reaches are ever touched.
    std::unique_ptr<uint8_t[]> stream(new uint8_t[room]);
    const size_t length = Compress(compressor.get(), filtered.get(), size, stream.get(), room, progress, kFilterShare);
    filtered.reset();
    if (length == 0)
        Fail("the compressed data does not fit");

    std::string file("\x89PNG\r\n\x1A\n", 8);
    file.reserve(8 + 25 + 13 + length + (length / kIdatBytes + 1) * 12 + 12);
    uint8_t header[13] = {};
    for (int i = 0; i < 4; ++i) {
        header[i] = static_cast<uint8_t>(static_cast<uint32_t>(picture.Width()) >> (24 - 8 * i));
        header[4 + i] = static_cast<uint8_t>(static_cast<uint32_t>(picture.Height()) >> (24 - 8 * i));
    }
    header[8] = 8; // bits per sample
    header[9] = 2; // RGB; compression, filter method and interlacing all 0
    PutChunk(file, "IHDR", header, sizeof header);
    // As libpng's simplified writer put it: the pixels are sRGB, for viewers that manage colour.
    const uint8_t perceptual = 0;
    PutChunk(file, "sRGB", &perceptual, 1);
    for (size_t at = 0; at < length; at += kIdatBytes)
        PutChunk(file, "IDAT", stream.get() + at, std::min(kIdatBytes, length - at));
    PutChunk(file, "IEND", header, 0);
    if (progress)
        progress(1);
    return file;
}

} // namespace quillon
