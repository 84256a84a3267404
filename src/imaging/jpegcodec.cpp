// libjpeg reports fatal errors through error_exit, whose default ends the process. Ours
// longjmps back to the one function that called setjmp; only C frames of the library lie
// between, and that function keeps nothing with a destructor that the jump could skip.
#include "imaging/codecs.h"

#include "common/error.h"

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

namespace quillon {

namespace {

struct TJpegErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    // The last scan that reported damaged entropy-coded data, and what it said.
    int damagedScan = 0;
    char damage[JMSG_LENGTH_MAX];
};

void ErrorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<TJpegErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    longjmp(err->jump, 1);
}

// The library pads missing or unreadable entropy-coded data with grey and calls the
// result a picture. Running out of data, in the file or in a segment cut short by a
// marker (a truncated file with an EOI appended), ends the decode at once. Damage the
// decoder resynchronises after counts only in the scan that finishes the picture: a
// later scan refines over it. Everything else stays silent, above all the extraneous
// bytes before a marker that many cameras write.
void EmitMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return;
    switch (cinfo->err->msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
        ErrorExit(cinfo);
        break;
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
        if (cinfo->is_decompressor) {
            auto* err = reinterpret_cast<TJpegErrorManager*>(cinfo->err);
            err->damagedScan = reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number;
            (*cinfo->err->format_message)(cinfo, err->damage);
        }
        break;
    default:
        break;
    }
}

struct TJpegProgress {
    jpeg_progress_mgr pub;
    const TDecodeListener* listener = nullptr;
};

constexpr const char* kCancelled = "the decode was cancelled";

// Also the place a progressive file's scans can be left mid-way: the library reads them
// all inside jpeg_start_decompress.
void CountScans(j_common_ptr cinfo)
{
    auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    auto* err = reinterpret_cast<TJpegErrorManager*>(cinfo->err);
    const auto* progress = reinterpret_cast<const TJpegProgress*>(cinfo->progress);
    if (progress->listener && progress->listener->Cancelled()) {
        std::snprintf(err->message, sizeof(err->message), "%s", kCancelled);
        longjmp(err->jump, 1);
    }
    if (dinfo->is_decompressor && dinfo->progressive_mode && dinfo->input_scan_number > kMaxJPEGScans) {
        std::snprintf(err->message, sizeof(err->message), "JPEG file has more than %d scans", kMaxJPEGScans);
        longjmp(err->jump, 1);
    }
}

void InstallErrorManager(j_common_ptr cinfo, TJpegErrorManager& err)
{
    cinfo->err = jpeg_std_error(&err.pub);
    err.pub.error_exit = ErrorExit;
    err.pub.emit_message = EmitMessage;
    err.message[0] = '\0';
    err.damagedScan = 0;
    err.damage[0] = '\0';
}

uint8_t Clamp255(int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// Adobe writers store CMYK inverted (255 = no ink); others store ink amounts.
void CmykRowToRgb(const uint8_t* cmyk, uint8_t* rgb, int width, bool inverted)
{
    for (int x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
        int k = inverted ? cmyk[3] : 255 - cmyk[3];
        for (int c = 0; c < 3; ++c) {
            int v = inverted ? cmyk[c] : 255 - cmyk[c];
            rgb[c] = Clamp255((v * k + 127) / 255);
        }
    }
}

// A picture coded in one sequential Huffman scan costs at least a bit for each block of
// each component (its DC difference). When the bytes left after the header cannot hold
// that, the file is bound to run out of data; a few kilobytes may claim 15,800 x 15,800
// pixels, and the picture is not allocated for them. Files of several sequential scans are
// left out: a scan may be missing from them and the picture still shown.
// A progressive file is judged by its first scan, which the header has been read up to:
// before any row, the library reads every scan into coefficient buffers of the size the
// header claims (128 bytes a block), so that first scan must be there whole. Coding DC
// values it costs a bit a block; a first scan of AC values (no writer makes one, the
// library accepts it) at least a bit for each run of up to 32,767 empty blocks.
bool CannotHoldItsBlocks(const jpeg_decompress_struct& cinfo)
{
    if (cinfo.arith_code)
        return false;
    uint64_t blocks = 0;
    uint64_t blocksPerBit = 1;
    if (cinfo.progressive_mode) {
        for (int c = 0; c < cinfo.comps_in_scan; ++c)
            blocks += uint64_t{cinfo.cur_comp_info[c]->width_in_blocks} * cinfo.cur_comp_info[c]->height_in_blocks;
        if (cinfo.Ss != 0)
            blocksPerBit = 32767;
    } else {
        if (cinfo.comps_in_scan != cinfo.num_components)
            return false;
        for (int c = 0; c < cinfo.num_components; ++c)
            blocks += uint64_t{cinfo.comp_info[c].width_in_blocks} * cinfo.comp_info[c].height_in_blocks;
    }
    return blocks / blocksPerBit / 8 > cinfo.src->bytes_in_buffer;
}

struct TDecodeState {
    jpeg_decompress_struct cinfo;
    TJpegErrorManager err;
    TJpegProgress progress;
    std::vector<uint8_t> cmykRow;
    int64_t headerWidth = 0;
    int64_t headerHeight = 0;
    bool progressive = false;
};

// What the library says when a scan's data ends: at the next marker (another scan's, or
// an end marker put back after a cut), or at the end of the file.
void SayDataEnds(TDecodeState& s)
{
    const jpeg_source_mgr& src = *s.cinfo.src;
    bool marker = false;
    for (size_t i = 0; i + 1 < src.bytes_in_buffer && !marker; ++i) {
        const JOCTET next = src.next_input_byte[i + 1];
        // Stuffed zero bytes and restart markers belong to the data.
        marker = src.next_input_byte[i] == 0xFF && next != 0 && next != 0xFF && (next < 0xD0 || next > 0xD7);
    }
    s.err.pub.msg_code = marker ? JWRN_HIT_MARKER : JWRN_JPEG_EOF;
    (*s.err.pub.format_message)(reinterpret_cast<j_common_ptr>(&s.cinfo), s.err.message);
}

// Reads the header and sets the decode up. Called under the caller's setjmp; false when
// the picture is over the pixel limit (the caller's caller says so).
bool ReadHeader(TDecodeState& s, std::string_view data, const TDecodeListener* listener)
{
    jpeg_mem_src(&s.cinfo, reinterpret_cast<const unsigned char*>(data.data()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&s.cinfo, TRUE);
    s.headerWidth = s.cinfo.image_width;
    s.headerHeight = s.cinfo.image_height;
    if (s.headerWidth * s.headerHeight > kMaxPicturePixels)
        return false;
    const bool cmyk = s.cinfo.jpeg_color_space == JCS_CMYK || s.cinfo.jpeg_color_space == JCS_YCCK;
    s.cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    s.progress.pub.progress_monitor = CountScans;
    s.progress.listener = listener;
    s.cinfo.progress = &s.progress.pub;
    return true;
}

bool Cancelled(TDecodeState& s, const TDecodeListener* listener)
{
    if (!listener || !listener->Cancelled())
        return false;
    std::snprintf(s.err.message, sizeof s.err.message, "%s", kCancelled);
    return true;
}

// One band of up to 8 rows into out's rows [y, ...), converted from CMYK where it is.
void ReadBand(TDecodeState& s, TBitmap& out, int y)
{
    const int width = static_cast<int>(s.cinfo.output_width);
    if (s.cinfo.out_color_space == JCS_CMYK) {
        s.cmykRow.resize(static_cast<size_t>(width) * 4);
        JSAMPROW row = s.cmykRow.data();
        jpeg_read_scanlines(&s.cinfo, &row, 1);
        CmykRowToRgb(s.cmykRow.data(), out.Row(y), width, s.cinfo.saw_Adobe_marker);
        return;
    }
    JSAMPROW rows[8];
    int n = 0;
    for (; n < 8 && y + n < out.Height(); ++n)
        rows[n] = out.Row(y + n);
    jpeg_read_scanlines(&s.cinfo, rows, static_cast<JDIMENSION>(n));
}

// Returns false with err.message filled when the library gave up.
bool RunDecode(TDecodeState& s, std::string_view data, TBitmap& out, TDecodeListener* listener)
{
    if (setjmp(s.err.jump))
        return false;
    if (!ReadHeader(s, data, listener))
        return false;
    const bool bound = CannotHoldItsBlocks(s.cinfo);
    if (bound && s.cinfo.progressive_mode) {
        // Starting would allocate the buffers the header claims.
        SayDataEnds(s);
        return false;
    }
    jpeg_start_decompress(&s.cinfo);
    int width = static_cast<int>(s.cinfo.output_width);
    int height = static_cast<int>(s.cinfo.output_height);
    if (bound) {
        // Into one row's room: the library fails as it would reading into the picture.
        s.cmykRow.resize(static_cast<size_t>(width) * static_cast<size_t>(s.cinfo.output_components));
        while (s.cinfo.output_scanline < s.cinfo.output_height) {
            JSAMPROW row = s.cmykRow.data();
            jpeg_read_scanlines(&s.cinfo, &row, 1);
        }
        std::snprintf(s.err.message, sizeof s.err.message, "the file is truncated");
        return false;
    }
    out.ResizeForOverwrite(width, height);
    s.progressive = s.cinfo.progressive_mode;
    if (listener)
        listener->Started(out);
    while (s.cinfo.output_scanline < s.cinfo.output_height) {
        if (Cancelled(s, listener))
            return false;
        ReadBand(s, out, static_cast<int>(s.cinfo.output_scanline));
        // Rows of a progressive file change until its last scan is in.
        if (listener && !s.progressive)
            listener->RowsDone(static_cast<int>(s.cinfo.output_scanline));
    }
    jpeg_finish_decompress(&s.cinfo);
    if (s.err.damagedScan != 0 && s.err.damagedScan == s.cinfo.input_scan_number) {
        std::snprintf(s.err.message, sizeof(s.err.message), "%s", s.err.damage);
        return false;
    }
    return true;
}

bool RunHeaderOnly(TDecodeState& s, std::string_view data)
{
    if (setjmp(s.err.jump))
        return false;
    jpeg_mem_src(&s.cinfo, reinterpret_cast<const unsigned char*>(data.data()),
                 static_cast<unsigned long>(data.size()));
    return jpeg_read_header(&s.cinfo, TRUE) == JPEG_HEADER_OK;
}

bool RunPartDecode(TDecodeState& s, std::string_view data, TJPEGPart& part, TBitmap& out,
                   const TDecodeListener* cancel)
{
    if (setjmp(s.err.jump))
        return false;
    if (!ReadHeader(s, data, cancel))
        return false;
    if (CannotHoldItsBlocks(s.cinfo)) {
        SayDataEnds(s);
        return false;
    }
    const int d = part.denominator;
    s.cinfo.scale_num = 1;
    s.cinfo.scale_denom = static_cast<unsigned int>(d);
    jpeg_start_decompress(&s.cinfo);
    // The asked-for part in output pixels, rounded outward.
    const int64_t outWidth = s.cinfo.output_width, outHeight = s.cinfo.output_height;
    const auto left = static_cast<JDIMENSION>(std::clamp<int64_t>(part.left / d, 0, outWidth));
    const auto right = static_cast<JDIMENSION>(std::clamp<int64_t>((int64_t{part.right} + d - 1) / d, left, outWidth));
    const auto rows = static_cast<JDIMENSION>(std::clamp<int64_t>((int64_t{part.bottom} + d - 1) / d, 0, outHeight));
    JDIMENSION x = left, width = right - left;
    if (width == 0 || rows == 0) {
        part = {d, 0, 0, 0};
        out = TBitmap();
        return true;
    }
    if (width < s.cinfo.output_width)
        jpeg_crop_scanline(&s.cinfo, &x, &width);
    out.ResizeForOverwrite(static_cast<int>(width), static_cast<int>(rows));
    while (s.cinfo.output_scanline < rows) {
        if (Cancelled(s, cancel))
            return false;
        ReadBand(s, out, static_cast<int>(s.cinfo.output_scanline));
    }
    // The rows below are left in the file: they are not needed.
    jpeg_abort_decompress(&s.cinfo);
    part.left = static_cast<int>(x) * d;
    part.right = static_cast<int>(std::min<int64_t>(int64_t{x + width} * d, s.headerWidth));
    part.bottom = static_cast<int>(std::min<int64_t>(int64_t{rows} * d, s.headerHeight));
    return true;
}

struct TEncodeState {
    jpeg_compress_struct cinfo;
    TJpegErrorManager err;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
};

bool RunEncode(TEncodeState& s, int width, int height, int quality, TJPEGChroma chroma,
               const std::function<const uint8_t*(int)>& row)
{
    if (setjmp(s.err.jump))
        return false;
    jpeg_mem_dest(&s.cinfo, &s.buffer, &s.size);
    s.cinfo.image_width = static_cast<JDIMENSION>(width);
    s.cinfo.image_height = static_cast<JDIMENSION>(height);
    s.cinfo.input_components = 3;
    s.cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&s.cinfo);
    jpeg_set_quality(&s.cinfo, quality, TRUE);
    // The defaults sample the luminance 2 x 2 against the colour; one to one keeps it all.
    if (chroma == TJPEGChroma::Full)
        s.cinfo.comp_info[0].h_samp_factor = s.cinfo.comp_info[0].v_samp_factor = 1;
    jpeg_start_compress(&s.cinfo, TRUE);
    while (s.cinfo.next_scanline < s.cinfo.image_height) {
        JSAMPROW rowPointer = const_cast<uint8_t*>(row(static_cast<int>(s.cinfo.next_scanline)));
        jpeg_write_scanlines(&s.cinfo, &rowPointer, 1);
    }
    jpeg_finish_compress(&s.cinfo);
    return true;
}

} // namespace

TBitmap DecodeJPEG(std::string_view data)
{
    TBitmap out;
    DecodeJPEGInto(data, out, nullptr);
    return out;
}

void DecodeJPEGInto(std::string_view data, TBitmap& out, TDecodeListener* listener)
{
    TDecodeState s{};
    InstallErrorManager(reinterpret_cast<j_common_ptr>(&s.cinfo), s.err);
    jpeg_create_decompress(&s.cinfo);
    bool ok = RunDecode(s, data, out, listener);
    jpeg_destroy_decompress(&s.cinfo);
    if (s.headerWidth * s.headerHeight > kMaxPicturePixels)
        CheckPictureDimensions(s.headerWidth, s.headerHeight);
    if (!ok)
        throw QuillonError(std::string("JPEG: ") + s.err.message);
    if (listener && s.progressive)
        listener->RowsDone(out.Height());
}

bool ReadJPEGSize(std::string_view data, int& width, int& height)
{
    TDecodeState s{};
    InstallErrorManager(reinterpret_cast<j_common_ptr>(&s.cinfo), s.err);
    jpeg_create_decompress(&s.cinfo);
    const bool ok = RunHeaderOnly(s, data);
    if (ok) {
        width = static_cast<int>(s.cinfo.image_width);
        height = static_cast<int>(s.cinfo.image_height);
    }
    jpeg_destroy_decompress(&s.cinfo);
    return ok;
}

TBitmap DecodeJPEGPart(std::string_view data, TJPEGPart& part, const TDecodeListener* cancel)
{
    if (part.denominator != 1 && part.denominator != 2 && part.denominator != 4 && part.denominator != 8)
        throw QuillonError("JPEG: no such reduced scale");
    TBitmap out;
    TDecodeState s{};
    InstallErrorManager(reinterpret_cast<j_common_ptr>(&s.cinfo), s.err);
    jpeg_create_decompress(&s.cinfo);
    const bool ok = RunPartDecode(s, data, part, out, cancel);
    jpeg_destroy_decompress(&s.cinfo);
    if (s.headerWidth * s.headerHeight > kMaxPicturePixels)
        CheckPictureDimensions(s.headerWidth, s.headerHeight);
    if (!ok)
        throw QuillonError(std::string("JPEG: ") + s.err.message);
    return out;
}

std::string EncodeJPEG(const TBitmap& picture, int quality, TJPEGChroma chroma)
{
    if (picture.Empty())
        throw QuillonError("JPEG: the picture is empty");
    return EncodeJPEGRows(
        picture.Width(), picture.Height(), quality, [&picture](int y) { return picture.Row(y); }, chroma);
}

std::string EncodeJPEGRows(int width, int height, int quality, const std::function<const uint8_t*(int y)>& row,
                           TJPEGChroma chroma)
{
    if (width <= 0 || height <= 0)
        throw QuillonError("JPEG: the picture is empty");
    TEncodeState s{};
    InstallErrorManager(reinterpret_cast<j_common_ptr>(&s.cinfo), s.err);
    jpeg_create_compress(&s.cinfo);
    bool ok = false;
    try {
        ok = RunEncode(s, width, height, quality < 10 ? 10 : quality > 100 ? 100 : quality, chroma, row);
    } catch (...) {
        // The rows' maker failed.
        jpeg_destroy_compress(&s.cinfo);
        std::free(s.buffer);
        throw;
    }
    std::string file;
    if (ok)
        file.assign(reinterpret_cast<const char*>(s.buffer), s.size);
    jpeg_destroy_compress(&s.cinfo);
    std::free(s.buffer);
    if (!ok)
        throw QuillonError(std::string("JPEG: ") + s.err.message);
    return file;
}

} // namespace quillon
