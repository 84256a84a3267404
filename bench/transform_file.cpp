// The mirror/rotate and convert commands on a 24-megapixel photo-like JPEG (6000 x 4000,
// 4:2:0), through the writers the commands call, file read and write included. By turns
// with each run of ours, the peer as a whole process on the same file:
// - lossless 90-degree turn vs `jpegtran -rotate 90 -perfect -copy none`;
// - decode, turn, encode at quality 100 with every colour sample (4:4:4) vs
//   `djpeg | cjpeg -quality 100 -sample 1x1` (a pipe, so the peer's two halves may run on
//   two cores; djpeg and cjpeg alone are reported beside);
// - decode and write a PNG vs `convert -quality 65` (zlib level 6, adaptive filters, as
//   libpng's own writer did before), with the size beside that of libpng's writer; and a GIF
//   of 256 colours with Floyd-Steinberg dithering vs `convert -dither FloydSteinberg
//   -colors 256`.
// bench/setup.sh installs the peers.
#include "codec_support.h"
#include "peer_support.h"

#include "common/readfile.h"
#include "imaging/losslessjpeg.h"
#include "imaging/picturefiles.h"
#include "imaging/picturewriters.h"

#include <benchmark/benchmark.h>

#include <filesystem>

namespace quillon {
namespace {

namespace fs = std::filesystem;

// Our files go to a folder of their own, named as the writers name them.
std::string OutputFolder()
{
    static const std::string folder = [] {
        fs::path p = bench::BenchFile("transform");
        fs::create_directories(p);
        return p.string() + "/";
    }();
    return folder;
}

std::string PeerFile(const std::string& name) { return bench::BenchFile("transform-peer-" + name).string(); }

double FileMegabytes(const std::string& path) { return double(fs::file_size(path)) / (1024 * 1024); }

void BM_RotateLossless24MP(benchmark::State& state)
{
    const std::string& source = bench::Photo24MPJpeg();
    if (!TurnJPEGLosslessly(ReadWholeFile(source), TJPEGTurn::Rotate90)) {
        state.SkipWithError("the photo does not allow a lossless turn");
        return;
    }
    const TBitmap unused;
    std::string ours;
    const std::string peer = PeerFile("jpegtran.jpg");
    bench::Interleave(
        state, "jpegtran", [&] { ours = WriteRotatedFile(OutputFolder(), "lossless", pfJPEG, unused, 90, source); },
        [&] { return bench::ProcessMilliseconds("jpegtran -rotate 90 -perfect -copy none -outfile " + peer + " " + source); });
    state.counters["ours_MB"] = FileMegabytes(ours);
    state.counters["jpegtran_MB"] = FileMegabytes(peer);
}
BENCHMARK(BM_RotateLossless24MP)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(15);

void BM_RotateReencode24MP(benchmark::State& state)
{
    const std::string& source = bench::Photo24MPJpeg();
    const std::string peer = PeerFile("reencoded.jpg");
    const std::string ppm = PeerFile("decoded.ppm");
    if (!bench::RunQuietly("djpeg -outfile " + ppm + " " + source)) {
        state.SkipWithError("djpeg is not available: run bench/setup.sh");
        return;
    }
    std::string ours;
    std::vector<double> djpegMs, cjpegMs;
    bench::Interleave(
        state, "djpeg_cjpeg",
        [&] {
            // No source file: the picture is turned and encoded, as for a JPEG whose edge
            // would cut an MCU.
            ours = WriteRotatedFile(OutputFolder(), "reencoded", pfJPEG, LoadPicture(source), 90);
        },
        [&] {
            djpegMs.push_back(bench::ProcessMilliseconds("djpeg -outfile /dev/null " + source));
            cjpegMs.push_back(bench::ProcessMilliseconds("cjpeg -quality 100 -sample 1x1 -outfile " + peer + " " + ppm));
            return bench::ProcessMilliseconds("djpeg " + source + " | cjpeg -quality 100 -sample 1x1 -outfile " + peer);
        });
    if (djpegMs.empty())
        return;
    state.counters["djpeg_ms"] = bench::Median(djpegMs);
    state.counters["cjpeg_ms"] = bench::Median(cjpegMs);
    // Against the two run one after the other, as one core would run them.
    state.counters["x_djpeg_plus_cjpeg"] =
        state.counters["median_ms"] / (bench::Median(djpegMs) + bench::Median(cjpegMs));
    state.counters["ours_MB"] = FileMegabytes(ours);
    state.counters["peer_MB"] = FileMegabytes(peer);
}
BENCHMARK(BM_RotateReencode24MP)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(9);

// Argument: the format index (pfPNG or pfGIF).
void BM_Convert24MP(benchmark::State& state)
{
    const int format = static_cast<int>(state.range(0));
    const std::string& source = bench::Photo24MPJpeg();
    const std::string peer = PeerFile("converted" + PictureExtension(format));
    const std::string settings = format == pfPNG ? " -quality 65 " : " -dither FloydSteinberg -colors 256 ";
    std::string ours;
    bench::Interleave(
        state, "magick", [&] { ours = WriteConvertedFile(OutputFolder(), "converted", format, LoadPicture(source)); },
        [&] { return bench::ProcessMilliseconds("convert-im6.q16 " + source + settings + peer); });
    state.counters["ours_MB"] = FileMegabytes(ours);
    state.counters["magick_MB"] = FileMegabytes(peer);
    if (format == pfPNG) {
        // Against libpng's own writer (zlib's default level), which wrote PNG files before.
        const TBitmap original = LoadPicture(source);
        const std::string libpng = bench::LibpngFile(original);
        state.counters["libpng_MB"] = double(libpng.size()) / (1024 * 1024);
        state.counters["x_libpng_size"] = double(fs::file_size(ours)) / double(libpng.size());
        state.counters["same_pixels"] = LoadPicture(ours) == original;
    }
    if (format == pfGIF) {
        const TBitmap original = LoadPicture(source);
        state.counters["psnr"] = bench::Psnr(original, LoadPicture(ours));
        state.counters["psnr_magick"] = bench::Psnr(original, LoadPicture(peer));
    }
}
BENCHMARK(BM_Convert24MP)->ArgName("format")->Arg(pfPNG)->Arg(pfGIF)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

} // namespace
} // namespace quillon
