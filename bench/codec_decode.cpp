// Decoding a 24-megapixel photo-like JPEG (6000 x 4000, quality 90, made here) beside
// libjpeg-turbo's own djpeg decoding the same file to /dev/null. The peak_MB counter is
// the memory the decode needs beyond what the process held before it (measured in a
// child process), next to decoded_MB, the size of the bitmap itself.
// Install the peer with bench/setup.sh.
#include "codec_support.h"

#include "imaging/codecs.h"
#include "imaging/picturefiles.h"

#include <benchmark/benchmark.h>

namespace quillon {
namespace {

void BM_QuillonDecodeJpeg24MP(benchmark::State& state)
{
    const std::string& path = bench::Photo24MPJpeg();
    for (auto _ : state) {
        TBitmap picture = LoadPicture(path);
        benchmark::DoNotOptimize(picture.Data());
    }
    state.counters["decoded_MB"] = bench::kPhoto24MPDecodedMegabytes;
    state.counters["peak_MB"] = bench::PeakMegabytes([&] { benchmark::DoNotOptimize(LoadPicture(path).Data()); });
}
BENCHMARK(BM_QuillonDecodeJpeg24MP)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BM_DjpegDecodeJpeg24MP(benchmark::State& state)
{
    std::string command = "djpeg -outfile /dev/null " + bench::Photo24MPJpeg();
    for (auto _ : state)
        if (!bench::RunQuietly(command)) {
            state.SkipWithError("djpeg is not installed: run bench/setup.sh");
            return;
        }
}
BENCHMARK(BM_DjpegDecodeJpeg24MP)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

} // namespace
} // namespace quillon
