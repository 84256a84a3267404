// libjpeg reports fatal errors through error_exit, whose default ends the process. Ours
// longjmps back to the one function that called setjmp; only C frames of the library lie
// between, and that function keeps nothing with a destructor that the jump could skip.
#include "imaging/codecs.h"

#include "common/error.h"

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
};

void CountScans(j_common_ptr cinfo)
{
    auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->is_decompressor && dinfo->progressive_mode && dinfo->input_scan_number > kMaxJPEGScans) {
        auto* err = reinterpret_cast<TJpegErrorManager*>(cinfo->err);
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
// pixels, and the picture is not allocated for them. Progressive files and files of several
// scans are left out: a scan may be missing from them and the picture still shown.
bool CannotHoldItsBlocks(const jpeg_decompress_struct& cinfo)
{
    if (cinfo.progressive_mode || cinfo.arith_code || cinfo.comps_in_scan != cinfo.num_components)
        return false;
    uint64_t blocks = 0;
    for (int c = 0; c < cinfo.num_components; ++c)
        blocks += uint64_t{cinfo.comp_info[c].width_in_blocks} * cinfo.comp_info[c].height_in_blocks;
    return blocks / 8 > cinfo.src->bytes_in_buffer;
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

// Returns false with err.message filled when the library gave up.
bool RunDecode(TDecodeState& s, std::string_view data, TBitmap& out, TDecodeListener* listener)
{
    if (setjmp(s.err.jump))
        return false;
    jpeg_mem_src(&s.cinfo, reinterpret_cast<const unsigned char*>(data.data()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&s.cinfo, TRUE);
    s.headerWidth = s.cinfo.image_width;
    s.headerHeight = s.cinfo.image_height;
    if (s.headerWidth * s.headerHeight > kMaxPicturePixels)
        return false;
    bool cmyk = s.cinfo.jpeg_color_space == JCS_CMYK || s.cinfo.jpeg_color_space == JCS_YCCK;
    s.cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    s.progress.pub.progress_monitor = CountScans;
    s.cinfo.progress = &s.progress.pub;
    const bool bound = CannotHoldItsBlocks(s.cinfo);
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
    if (cmyk)
        s.cmykRow.resize(static_cast<size_t>(width) * 4);
    while (s.cinfo.output_scanline < s.cinfo.output_height) {
        int y = static_cast<int>(s.cinfo.output_scanline);
        if (cmyk) {
            JSAMPROW row = s.cmykRow.data();
            jpeg_read_scanlines(&s.cinfo, &row, 1);
            CmykRowToRgb(s.cmykRow.data(), out.Row(y), width, s.cinfo.saw_Adobe_marker);
        } else {
            JSAMPROW rows[8];
            int n = 0;
            for (; n < 8 && y + n < height; ++n)
                rows[n] = out.Row(y + n);
            jpeg_read_scanlines(&s.cinfo, rows, static_cast<JDIMENSION>(n));
        }
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
