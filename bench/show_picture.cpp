// What showing a selected logo costs for a 24-megapixel photo (the JPEG of codec_decode):
// decode, the display picture fitted to an 800 x 600 pane, the initial frame and the
// 176 x 208 logo. Beside it, djpeg decoding the same file alone (x_djpeg is the ratio of
// the two means), and peak_MB, the memory the whole show needs beyond what the process
// held before it, also as a multiple of the decoded picture (x_decoded).
// Install the peer with bench/setup.sh.
#include "codec_support.h"

#include "imaging/picturefiles.h"
#include "imaging/sourceimage.h"
#include "logodir/logodirobject.h"

#include <benchmark/benchmark.h>

#include <chrono>

namespace quillon {
namespace {

TLogoDirObject LogoNode()
{
    TLogoDirObject node(nkLogo, "bench.jpg");
    node.logowidth = 176;
    node.logoheight = 208;
    node.fitkind = fkBigger;
    return node;
}

void ShowPicture(const std::string& path)
{
    TLogoDirObject node = LogoNode();
    TSourceImage image(LoadPicture(path), node, {800, 600}, true);
    benchmark::DoNotOptimize(image.BuildDisplayPicture().Data());
    image.PlaceInitialFrame();
    TBitmap logo;
    image.RenderLogo(logo);
    benchmark::DoNotOptimize(logo.Data());
}

double MeanMilliseconds(int runs, const auto& work)
{
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < runs; ++i)
        work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / runs;
}

void BM_ShowPicture24MP(benchmark::State& state)
{
    const std::string& path = bench::Photo24MPJpeg();
    const std::string djpeg = "djpeg -outfile /dev/null " + path;
    if (!bench::RunQuietly(djpeg)) {
        state.SkipWithError("djpeg is not installed: run bench/setup.sh");
        return;
    }
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
        ShowPicture(path);
    double showMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() /
                    static_cast<double>(state.iterations());
    double djpegMs = MeanMilliseconds(static_cast<int>(state.iterations()), [&] { bench::RunQuietly(djpeg); });
    double peak = bench::PeakMegabytes([&] { ShowPicture(path); });
    state.counters["djpeg_ms"] = djpegMs;
    state.counters["x_djpeg"] = showMs / djpegMs;
    state.counters["peak_MB"] = peak;
    state.counters["x_decoded"] = peak / bench::kPhoto24MPDecodedMegabytes;
}
BENCHMARK(BM_ShowPicture24MP)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

} // namespace
} // namespace quillon
