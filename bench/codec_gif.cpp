// Colour reduction and GIF writing of a 400 x 400 logo at every depth (3..8 bits), on a
// photograph-like picture, a fractal plasma and a flat-colour drawing. By turns with each
// run of ours: ImageMagick as a whole process (`convert in.png -dither FloydSteinberg
// -colors N out.gif`) and Pillow in a process kept beside the benchmark, doing real
// Floyd-Steinberg (Pillow dithers only towards a given palette: quantize once for the
// palette, with its fast octree like ours (its median cut takes most of a second here),
// then quantize again with that palette and dithering) and writing the GIF. The
// psnr counters measure each result against the original picture. bench/setup.sh installs
// the peers.
#include "codec_support.h"
#include "peer_support.h"

#include "imaging/codecs.h"
#include "imaging/palettesearch.h"
#include "imaging/picturefiles.h"

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

namespace quillon {
namespace {

constexpr int kSide = 400;

// Diamond-square plasma: smooth at every scale, with colours everywhere in the cube.
TBitmap MakePlasma(int side, unsigned seed)
{
    int size = 1;
    while (size + 1 < side)
        size *= 2;
    const int n = size + 1;
    std::mt19937 random(seed);
    TBitmap out(side, side);
    for (int channel = 0; channel < 3; ++channel) {
        std::vector<double> h(static_cast<size_t>(n) * n);
        auto at = [&](int x, int y) -> double& { return h[static_cast<size_t>(y) * n + x]; };
        std::uniform_real_distribution<double> unit(-1, 1);
        at(0, 0) = unit(random), at(size, 0) = unit(random), at(0, size) = unit(random), at(size, size) = unit(random);
        double amplitude = 1;
        for (int step = size; step > 1; step /= 2, amplitude *= 0.55) {
            const int half = step / 2;
            for (int y = half; y < n; y += step)
                for (int x = half; x < n; x += step)
                    at(x, y) = (at(x - half, y - half) + at(x + half, y - half) + at(x - half, y + half) +
                                at(x + half, y + half)) / 4 + amplitude * unit(random);
            for (int y = 0; y < n; y += half)
                for (int x = (y / half % 2 == 0) ? half : 0; x < n; x += step) {
                    double sum = 0;
                    int count = 0;
                    for (auto [dx, dy] : {std::pair{-half, 0}, {half, 0}, {0, -half}, {0, half}})
                        if (x + dx >= 0 && x + dx < n && y + dy >= 0 && y + dy < n)
                            sum += at(x + dx, y + dy), ++count;
                    at(x, y) = sum / count + amplitude * unit(random);
                }
        }
        double lo = h[0], hi = h[0];
        for (double v : h)
            lo = std::min(lo, v), hi = std::max(hi, v);
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                out.Pixel(x, y)[channel] = uint8_t(std::lround((at(x, y) - lo) / (hi - lo) * 255));
    }
    return out;
}

// A drawing in seven flat colours with hard edges, as logos often are.
TBitmap MakeFlat(int side)
{
    const TRGB colours[] = {{255, 255, 255}, {220, 30, 40}, {20, 60, 160}, {250, 200, 0},
                            {30, 140, 60},   {0, 0, 0},     {120, 120, 120}};
    TBitmap out(side, side);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            int k = 0;
            if ((x - 200) * (x - 200) + (y - 180) * (y - 180) < 90 * 90)
                k = 1;
            else if (y > 300)
                k = 2 + (x / 100) % 2;
            else if (x < 60 || x >= 340)
                k = 4;
            else if (y < 40)
                k = 5 + (x / 40) % 2;
            std::copy(colours[k].begin(), colours[k].end(), out.Pixel(x, y));
        }
    return out;
}

struct TPicture {
    TBitmap bitmap;
    std::string png;
};

const TPicture& Picture(int kind)
{
    static std::map<int, TPicture> pictures;
    TPicture& picture = pictures[kind];
    if (picture.png.empty()) {
        picture.bitmap = kind == 0 ? bench::MakePhotoLike(kSide, kSide) : kind == 1 ? MakePlasma(kSide, 5) : MakeFlat(kSide);
        picture.png = bench::BenchFile("gif-" + std::to_string(kind) + ".png").string();
        SavePicture(picture.png, picture.bitmap, pfPNG);
    }
    return picture;
}

bench::TPythonPeer& Pillow()
{
    static bench::TPythonPeer pillow("from PIL import Image\nimport io\npictures = {}\n"
                                     "def step(a):\n"
                                     "    im = pictures.get(a[0])\n"
                                     "    if im is None:\n"
                                     "        im = pictures[a[0]] = Image.open(a[0]).convert(\"RGB\")\n"
                                     "    palette = im.quantize(colors=int(a[1]), method=Image.Quantize.FASTOCTREE)\n"
                                     "    out = im.quantize(palette=palette, dither=Image.Dither.FLOYDSTEINBERG)\n"
                                     "    out.save(a[2], format=\"GIF\")",
                                     "step");
    return pillow;
}

// Arguments: picture (0 photograph, 1 plasma, 2 flat) and bits per pixel.
void BM_Gif400(benchmark::State& state)
{
    const TPicture& picture = Picture(static_cast<int>(state.range(0)));
    const int bits = static_cast<int>(state.range(1));
    const std::string magickGif = bench::BenchFile("gif-im.gif").string();
    const std::string pillowGif = bench::BenchFile("gif-pil.gif").string();
    // Loaded once before the timed runs, so its first call measures no file reading.
    if (Pillow().Run(picture.png + " " + std::to_string(1 << bits) + " " + pillowGif) < 0) {
        state.SkipWithError("Pillow is not available: run bench/setup.sh");
        return;
    }
    const std::string magick = "convert-im6.q16 " + picture.png + " -dither FloydSteinberg -colors " +
                               std::to_string(1 << bits) + " " + magickGif;
    std::string file;
    std::vector<double> pillowMs;
    bench::Interleave(
        state, "magick",
        [&] {
            file = EncodeGIF(picture.bitmap, TGIFSettings{bits, TDither::FloydSteinberg});
            benchmark::DoNotOptimize(file.data());
        },
        [&] {
            pillowMs.push_back(Pillow().Run(picture.png + " " + std::to_string(1 << bits) + " " + pillowGif));
            return bench::ProcessMilliseconds(magick);
        });
    state.counters["pillow_ms"] = bench::Median(pillowMs);
    // The same, back to back: the interleaved runs start after a tenth of a second of the
    // machine idle (the peer's run), when a virtual machine is slow to give back its second
    // processor.
    std::vector<double> warmMs;
    for (int run = 0; run < 20; ++run)
        warmMs.push_back(bench::Milliseconds([&] {
            file = EncodeGIF(picture.bitmap, TGIFSettings{bits, TDither::FloydSteinberg});
            benchmark::DoNotOptimize(file.data());
        }));
    state.counters["warm_ms"] = bench::Median(warmMs);
    state.counters["psnr"] = bench::Psnr(picture.bitmap, DecodeGIF(file));
    state.counters["psnr_magick"] = bench::Psnr(picture.bitmap, LoadPicture(magickGif));
    state.counters["psnr_pillow"] = bench::Psnr(picture.bitmap, LoadPicture(pillowGif));
}
BENCHMARK(BM_Gif400)
    ->ArgNames({"picture", "bits"})
    ->ArgsProduct({{0, 1, 2}, {3, 4, 5, 6, 7, 8}})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(10);

} // namespace
} // namespace quillon
