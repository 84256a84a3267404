// One preview step of the JPEG and GIF dialogs for the largest logo (400 x 400): encode,
// write the logo's temporary file, decode it again. Moving a track bar must not freeze
// the dialog, so each step has to fit in one frame of a 60 Hz screen (16.7 ms); the
// "frames" counter is the step's time in such frames.
#include "codec_support.h"

#include "imaging/preview.h"

#include <benchmark/benchmark.h>

namespace quillon {
namespace {

void Preview(benchmark::State& state, TPictureFormat format, const char* file)
{
    static const TBitmap logo = bench::MakePhotoLike(400, 400);
    TEncodeSettings settings;
    settings.jpegQuality = int(state.range(0));
    settings.gif.bitsPerPixel = int(state.range(0));
    const std::string path = bench::BenchFile(file).string();
    uint64_t bytes = 0;
    for (auto _ : state) {
        TEncodedPreview p = EncodePreview(logo, format, settings, path);
        bytes = p.fileSize;
        benchmark::DoNotOptimize(p.picture.Data());
    }
    state.counters["bytes"] = double(bytes);
    state.counters["frames"] = benchmark::Counter(double(state.iterations()) / 60.0,
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_PreviewJpeg(benchmark::State& state) { Preview(state, pfJPEG, "preview.jpg"); }
BENCHMARK(BM_PreviewJpeg)->Arg(10)->Arg(90)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PreviewGif(benchmark::State& state) { Preview(state, pfGIF, "preview.gif"); }
BENCHMARK(BM_PreviewGif)->Arg(8)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace quillon
