// Re-rendering the logo while the frame is dragged, and building the fitted display picture,
// for a 24-megapixel photo; Pillow's bicubic resize of the same crop is timed beside it.
#include "imaging/bitmap.h"
#include "imaging/sourceimage.h"
#include "logodir/logodirobject.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace quillon;

constexpr int kPictureWidth = 6000;
constexpr int kPictureHeight = 4000;
// The frame covers the picture but a 5% margin on every side.
constexpr TRect kCrop{300, 200, 5700, 3800};

// Smooth shading with texture and sharp edges, roughly what a camera delivers.
const TBitmap& Photo()
{
    static const TBitmap photo = [] {
        TBitmap picture(kPictureWidth, kPictureHeight);
        uint32_t state = 12345;
        for (int y = 0; y < kPictureHeight; ++y) {
            uint8_t* p = picture.Row(y);
            for (int x = 0; x < kPictureWidth; ++x, p += 3) {
                state = state * 1664525u + 1013904223u;
                const int noise = static_cast<int>(state >> 28) - 8;
                const double shade = 0.5 + 0.5 * std::sin(x * 0.0021) * std::cos(y * 0.0017);
                const bool edge = ((x / 257) + (y / 193)) % 5 == 0;
                p[0] = static_cast<uint8_t>(std::clamp(static_cast<int>(shade * 220) + noise + (edge ? 30 : 0), 0, 255));
                p[1] = static_cast<uint8_t>(std::clamp(static_cast<int>(x * 255 / kPictureWidth) + noise, 0, 255));
                p[2] = static_cast<uint8_t>(std::clamp(static_cast<int>(y * 255 / kPictureHeight) - noise, 0, 255));
            }
        }
        return picture;
    }();
    return photo;
}

TLogoDirObject LogoNode()
{
    TLogoDirObject node(nkLogo, "bench.jpg");
    node.logowidth = 176;
    node.logoheight = 208;
    node.keepproportions = false;
    return node;
}

// Runs Pillow on the same picture and returns its per-run seconds (empty if unavailable).
std::vector<double> PillowResizeSeconds(const TRect& box, TSize size, int runs)
{
    const std::filesystem::path ppm =
        std::filesystem::temp_directory_path() / ("quillon-bench-" + std::to_string(getpid()) + ".ppm");
    {
        std::ofstream out(ppm, std::ios::binary);
        out << "P6\n" << kPictureWidth << " " << kPictureHeight << "\n255\n";
        out.write(reinterpret_cast<const char*>(Photo().Data()), static_cast<std::streamsize>(Photo().SizeInBytes()));
    }
    std::ostringstream command;
    const char* python = std::getenv("QUILLON_BENCH_PYTHON");
    // Debian's python3-pil belongs to the system interpreter, whatever else is on PATH.
    command << (python != nullptr ? python : "/usr/bin/python3") << " -c \"import sys, time\n"
               "from PIL import Image\n"
               "im = Image.open(sys.argv[1]); im.load()\n"
               "f = getattr(Image, 'Resampling', Image).BICUBIC\n"
               "for _ in range(int(sys.argv[2])):\n"
               "    t = time.perf_counter()\n"
               "    im.resize((" << size.width << ", " << size.height << "), f, box=(" << box.left << ", " << box.top
            << ", " << box.right << ", " << box.bottom << "), reducing_gap=None)\n"
               "    print(time.perf_counter() - t)\n\" "
            << ppm.string() << " " << runs << " 2>/dev/null";
    std::vector<double> seconds;
    if (FILE* pipe = popen(command.str().c_str(), "r")) {
        double value = 0;
        while (std::fscanf(pipe, "%lf", &value) == 1)
            seconds.push_back(value);
        pclose(pipe);
    }
    std::filesystem::remove(ppm);
    return seconds;
}

void ReportPillow(benchmark::State& state, const TRect& box, TSize size)
{
    const std::vector<double> seconds = PillowResizeSeconds(box, size, static_cast<int>(state.max_iterations));
    if (seconds.size() < static_cast<size_t>(state.max_iterations)) {
        state.SkipWithError("python3-pil is not installed (run bench/setup.sh)");
        return;
    }
    size_t i = 0;
    for (auto _ : state)
        state.SetIterationTime(seconds[i++]);
}

// The logo content rectangle the crop lands in (keep proportions clear).
TSize LogoContentSize()
{
    TRect source = kCrop;
    TRect dest{0, 0, 176, 208};
    ClipToPicture(source, dest, {kPictureWidth, kPictureHeight}, false);
    return {dest.Width(), dest.Height()};
}

void BM_RenderLogo(benchmark::State& state)
{
    TLogoDirObject node = LogoNode();
    TSourceImage image(Photo(), node, {800, 600}, true);
    const TSize offset = image.PictureOffset();
    image.SetFrame({kCrop.left + offset.width, kCrop.top + offset.height, kCrop.right + offset.width,
                    kCrop.bottom + offset.height});
    const TResampleOptions options{static_cast<TSimdLevel>(state.range(0)), static_cast<int>(state.range(1))};
    if (options.level == TSimdLevel::Avx2 && BestSimdLevel() != TSimdLevel::Avx2) {
        state.SkipWithError("no AVX2 on this processor");
        return;
    }
    TBitmap target;
    for (auto _ : state) {
        image.RenderLogo(target, options);
        benchmark::DoNotOptimize(target.Data());
    }
    state.counters["logo_w"] = image.LogoPicture().Width();
    state.counters["logo_h"] = image.LogoPicture().Height();
}
// Arguments: vector level (0 scalar, 1 SSE2, 2 AVX2) and threads (0: one per core).
BENCHMARK(BM_RenderLogo)
    ->ArgNames({"simd", "threads"})
    ->Args({2, 0})
    ->Args({2, 1})
    ->Args({1, 0})
    ->Args({0, 0})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

void BM_PillowBicubicSameCrop(benchmark::State& state) { ReportPillow(state, kCrop, LogoContentSize()); }
BENCHMARK(BM_PillowBicubicSameCrop)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(15);

void BM_DisplayPictureFittedTo800x600(benchmark::State& state)
{
    TLogoDirObject node = LogoNode();
    TSourceImage image(Photo(), node, {800, 600}, true);
    for (auto _ : state)
        benchmark::DoNotOptimize(image.BuildDisplayPicture().Data());
    state.counters["display_w"] = image.Display().display.width;
    state.counters["display_h"] = image.Display().display.height;
}
BENCHMARK(BM_DisplayPictureFittedTo800x600)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_PillowBicubicDisplayPicture(benchmark::State& state)
{
    TLogoDirObject node = LogoNode();
    TSourceImage image(TBitmap(kPictureWidth, kPictureHeight), node, {800, 600}, true);
    ReportPillow(state, {0, 0, kPictureWidth, kPictureHeight}, image.Display().displayPicture);
}
BENCHMARK(BM_PillowBicubicDisplayPicture)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);

} // namespace
