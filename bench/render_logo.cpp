// Re-rendering the logo while the frame is dragged, and building the fitted display picture,
// for a 24-megapixel photo; Pillow's bicubic resize of the same crop runs by turns with it
// (a Python process kept beside the benchmark, timing only the resize). Strong reductions
// from 48 and 96 megapixels show what a 16-pixel logo costs beside a 176-pixel one.
#include "peer_support.h"

#include "common/workpool.h"
#include "imaging/bitmap.h"
#include "imaging/sourceimage.h"
#include "logodir/logodirobject.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace quillon;

// Smooth shading with texture and sharp edges, roughly what a camera delivers.
TBitmap MakePhoto(int width, int height)
{
    TBitmap picture(width, height);
    std::vector<double> across(static_cast<size_t>(width)), down(static_cast<size_t>(height));
    for (int x = 0; x < width; ++x)
        across[static_cast<size_t>(x)] = std::sin(x * 0.0021 * 6000 / width);
    for (int y = 0; y < height; ++y)
        down[static_cast<size_t>(y)] = std::cos(y * 0.0017 * 4000 / height);
    uint32_t state = 12345;
    for (int y = 0; y < height; ++y) {
        uint8_t* p = picture.Row(y);
        for (int x = 0; x < width; ++x, p += 3) {
            state = state * 1664525u + 1013904223u;
            const int noise = static_cast<int>(state >> 28) - 8;
            const double shade = 0.5 + 0.5 * across[static_cast<size_t>(x)] * down[static_cast<size_t>(y)];
            const bool edge = ((x / 257) + (y / 193)) % 5 == 0;
            p[0] = static_cast<uint8_t>(std::clamp(static_cast<int>(shade * 220) + noise + (edge ? 30 : 0), 0, 255));
            p[1] = static_cast<uint8_t>(std::clamp(static_cast<int>(int64_t{x} * 255 / width) + noise, 0, 255));
            p[2] = static_cast<uint8_t>(std::clamp(static_cast<int>(int64_t{y} * 255 / height) - noise, 0, 255));
        }
    }
    return picture;
}

// Pictures by size, each with a Pillow process that has loaded it.
struct TPicture {
    std::shared_ptr<const TBitmap> bitmap;
    std::filesystem::path ppm;
    std::unique_ptr<bench::TPythonPeer> pillow;
};

TPicture& Picture(int width, int height)
{
    static std::map<std::pair<int, int>, TPicture> pictures;
    TPicture& picture = pictures[{width, height}];
    if (!picture.bitmap) {
        // Only one big picture at a time: 96 megapixels with Pillow's copy is 600 MB.
        for (auto& [size, other] : pictures)
            if (&other != &picture) {
                other.pillow.reset();
                other.bitmap.reset();
                std::filesystem::remove(other.ppm);
            }
        picture.bitmap = std::make_shared<const TBitmap>(MakePhoto(width, height));
        picture.ppm = std::filesystem::temp_directory_path() /
                      ("quillon-bench-" + std::to_string(getpid()) + "-" + std::to_string(width) + ".ppm");
        {
            std::ofstream out(picture.ppm, std::ios::binary);
            out << "P6\n" << width << " " << height << "\n255\n";
            out.write(reinterpret_cast<const char*>(picture.bitmap->Data()),
                      static_cast<std::streamsize>(picture.bitmap->SizeInBytes()));
        }
        picture.pillow = std::make_unique<bench::TPythonPeer>(
            "from PIL import Image\nim = Image.open(\"" + picture.ppm.string() +
                "\"); im.load()\nf = getattr(Image, \"Resampling\", Image).BICUBIC\n"
                "def step(a):\n    v = [int(x) for x in a]\n"
                "    im.resize((v[0], v[1]), f, box=(v[2], v[3], v[4], v[5]), reducing_gap=None)",
            "step");
    }
    return picture;
}

double PillowResize(TPicture& picture, TSize size, const TRect& box)
{
    return picture.pillow->Run(std::to_string(size.width) + " " + std::to_string(size.height) + " " +
                               std::to_string(box.left) + " " + std::to_string(box.top) + " " +
                               std::to_string(box.right) + " " + std::to_string(box.bottom));
}

// The frame covers the picture but a 5% margin on every side.
TRect Crop(int width, int height) { return {width / 20, height / 20, width - width / 20, height - height / 20}; }

TLogoDirObject LogoNode(int width, int height)
{
    TLogoDirObject node(nkLogo, "bench.jpg");
    node.logowidth = width;
    node.logoheight = height;
    node.keepproportions = false;
    return node;
}

// Renders a logo of the given size from the crop, by turns with Pillow resizing the same crop
// to the same content size when `withPillow`.
void RenderLogo(benchmark::State& state, int pictureWidth, int pictureHeight, int logoWidth, int logoHeight,
                const TResampleOptions& options, bool withPillow)
{
    if (options.level == TSimdLevel::Avx2 && BestSimdLevel() != TSimdLevel::Avx2) {
        state.SkipWithError("no AVX2 on this processor");
        return;
    }
    TPicture& picture = Picture(pictureWidth, pictureHeight);
    TLogoDirObject node = LogoNode(logoWidth, logoHeight);
    TSourceImage image(picture.bitmap, node, {800, 600}, true);
    const TRect crop = Crop(pictureWidth, pictureHeight);
    const TSize offset = image.PictureOffset();
    image.SetFrame({crop.left + offset.width, crop.top + offset.height, crop.right + offset.width,
                       crop.bottom + offset.height});
    TRect source = crop, dest{0, 0, logoWidth, logoHeight};
    image.ClipToPicture(source, dest);
    TBitmap target;
    auto ours = [&] {
        image.RenderLogo(target, options);
        benchmark::DoNotOptimize(target.Data());
    };
    if (withPillow)
        bench::Interleave(state, "pillow", ours, [&] { return PillowResize(picture, {dest.Width(), dest.Height()}, crop); });
    else
        bench::Timed(state, ours);
    state.counters["logo_w"] = image.LogoPicture().Width();
    state.counters["logo_h"] = image.LogoPicture().Height();
}

// Arguments: vector level (0 scalar, 1 SSE2, 2 AVX2) and threads (0: one per core).
void BM_RenderLogo24MP(benchmark::State& state)
{
    const TResampleOptions options{static_cast<TSimdLevel>(state.range(0)), static_cast<int>(state.range(1))};
    RenderLogo(state, 6000, 4000, 176, 208, options, state.range(0) == 2 && state.range(1) == 0);
}
BENCHMARK(BM_RenderLogo24MP)
    ->ArgNames({"simd", "threads"})
    ->Args({2, 0})
    ->Args({2, 1})
    ->Args({1, 0})
    ->Args({0, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(1.0);

// Reading every byte of the crop once, on the given threads: the floor of any render of it,
// since each source pixel enters the logo. Returns milliseconds.
double ReadCrop(const TBitmap& picture, const TRect& crop, int threads)
{
    std::atomic<uint64_t> total{0};
    const size_t bytes = static_cast<size_t>(crop.Width()) * 3;
    const double ms = bench::Milliseconds([&] {
        TWorkPool::Shared().For(crop.Height(), threads, 16, [&](int32_t begin, int32_t end) {
            uint64_t sum = 0;
            for (int32_t y = begin; y < end; ++y) {
                const uint8_t* row = picture.Pixel(crop.left, crop.top + y);
                for (size_t i = 0; i + 8 <= bytes; i += 8) {
                    uint64_t word;
                    std::memcpy(&word, row + i, 8);
                    sum += word;
                }
            }
            total += sum;
        });
    });
    benchmark::DoNotOptimize(total.load());
    return ms;
}

// The 24-megapixel re-render by turns with reading its crop on as many threads: how far the
// render stands from what the memory delivers (x_read), on one core and on two.
void BM_RenderLogo24MPBesideReading(benchmark::State& state)
{
    const int threads = static_cast<int>(state.range(0));
    TPicture& picture = Picture(6000, 4000);
    TLogoDirObject node = LogoNode(176, 208);
    TSourceImage image(picture.bitmap, node, {800, 600}, true);
    const TRect crop = Crop(6000, 4000);
    const TSize offset = image.PictureOffset();
    image.SetFrame({crop.left + offset.width, crop.top + offset.height, crop.right + offset.width,
                    crop.bottom + offset.height});
    TBitmap target;
    const TResampleOptions options{BestSimdLevel(), threads};
    bench::Interleave(
        state, "read",
        [&] {
            image.RenderLogo(target, options);
            benchmark::DoNotOptimize(target.Data());
        },
        [&] { return ReadCrop(*picture.bitmap, crop, threads); });
}
BENCHMARK(BM_RenderLogo24MPBesideReading)
    ->ArgNames({"threads"})
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(1.0);

// Arguments: megapixels (48 or 96) and logo width (the height follows the 176 x 208 shape).
void BM_RenderLogoFromBigPicture(benchmark::State& state)
{
    const bool big = state.range(0) == 96;
    const int width = static_cast<int>(state.range(1));
    RenderLogo(state, big ? 12000 : 8485, big ? 8000 : 5657, width, width * 208 / 176, {}, big);
}
BENCHMARK(BM_RenderLogoFromBigPicture)
    ->ArgNames({"MP", "logo_w"})
    ->Args({48, 176})
    ->Args({48, 16})
    ->Args({96, 176})
    ->Args({96, 16})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(15);

// A 16-pixel logo and a 176-pixel one from the same crop, by turns: their ratio, the
// cliff a strong reduction must not have, taken from the same moments of the machine.
// Argument: megapixels (48 or 96).
void BM_StrongReductionBeside176(benchmark::State& state)
{
    const bool big = state.range(0) == 96;
    const int pictureWidth = big ? 12000 : 8485, pictureHeight = big ? 8000 : 5657;
    TPicture& picture = Picture(pictureWidth, pictureHeight);
    struct TLogo {
        TLogoDirObject node;
        std::unique_ptr<TSourceImage> image;
        TBitmap target;
    };
    TLogo logos[2] = {{LogoNode(16, 16 * 208 / 176), nullptr, {}}, {LogoNode(176, 208), nullptr, {}}};
    const TRect crop = Crop(pictureWidth, pictureHeight);
    for (TLogo& logo : logos) {
        logo.image = std::make_unique<TSourceImage>(picture.bitmap, logo.node, TSize{800, 600}, true);
        const TSize offset = logo.image->PictureOffset();
        logo.image->SetFrame({crop.left + offset.width, crop.top + offset.height, crop.right + offset.width,
                              crop.bottom + offset.height});
    }
    auto render = [](TLogo& logo) {
        logo.image->RenderLogo(logo.target, {});
        benchmark::DoNotOptimize(logo.target.Data());
    };
    bench::Interleave(state, "logo176", [&] { render(logos[0]); }, [&] {
        const double ms = bench::Milliseconds([&] { render(logos[1]); });
        return ms;
    });
}
BENCHMARK(BM_StrongReductionBeside176)
    ->ArgName("MP")
    ->Arg(48)
    ->Arg(96)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(15);

void BM_DisplayPictureFittedTo800x600(benchmark::State& state)
{
    TPicture& picture = Picture(6000, 4000);
    TLogoDirObject node = LogoNode(176, 208);
    TSourceImage image(picture.bitmap, node, {800, 600}, true);
    const TSize size = image.Display().displayPicture;
    bench::Interleave(
        state, "pillow", [&] { benchmark::DoNotOptimize(image.BuildDisplayPicture().Data()); },
        [&] { return PillowResize(picture, size, {0, 0, 6000, 4000}); });
    state.counters["display_w"] = image.Display().display.width;
    state.counters["display_h"] = image.Display().display.height;
}
BENCHMARK(BM_DisplayPictureFittedTo800x600)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

} // namespace
