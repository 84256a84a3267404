// Encoding a 24-megapixel photo-like picture (a JPEG of quality 90 decoded, as a converted
// photo is) to PNG, by turns with libpng's own simplified writer (zlib's default level,
// adaptive filters), which wrote the program's PNG files before: the time and the size
// beside it (x_libpng, x_libpng_size). same_pixels is 1 when our file decodes to the picture.
#include "codec_support.h"
#include "peer_support.h"

#include "imaging/codecs.h"

#include <benchmark/benchmark.h>

namespace quillon {
namespace {

void BM_EncodePng24MP(benchmark::State& state)
{
    const TBitmap picture = LoadPicture(bench::Photo24MPJpeg());
    std::string ours, theirs;
    bench::Interleave(
        state, "libpng", [&] { ours = EncodePNG(picture); },
        [&] { return bench::Milliseconds([&] { theirs = bench::LibpngFile(picture); }); });
    state.counters["ours_MB"] = double(ours.size()) / (1024 * 1024);
    state.counters["libpng_MB"] = double(theirs.size()) / (1024 * 1024);
    state.counters["x_libpng_size"] = double(ours.size()) / double(theirs.size());
    state.counters["same_pixels"] = DecodePNG(ours) == picture;
}
BENCHMARK(BM_EncodePng24MP)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

} // namespace
} // namespace quillon
