// Colour reduction and GIF writing of a logo, beside ImageMagick doing the same job
// (`convert in.png -dither FloydSteinberg -colors N out.gif`); the psnr counter is
// measured against the original picture for both. Install the peer with bench/setup.sh.
#include "codec_support.h"

#include "imaging/codecs.h"
#include "imaging/picturefiles.h"

#include <benchmark/benchmark.h>

namespace quillon {
namespace {

const TBitmap& Logo()
{
    static const TBitmap logo = bench::MakePhotoLike(400, 400);
    return logo;
}

void BM_QuillonGif(benchmark::State& state)
{
    TGIFSettings settings{int(state.range(0)), TDither::FloydSteinberg};
    std::string file;
    for (auto _ : state) {
        file = EncodeGIF(Logo(), settings);
        benchmark::DoNotOptimize(file.data());
    }
    state.counters["psnr"] = bench::Psnr(Logo(), DecodeGIF(file));
    state.counters["bytes"] = double(file.size());
}
BENCHMARK(BM_QuillonGif)->Arg(8)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ImageMagickGif(benchmark::State& state)
{
    std::string in = bench::BenchFile("logo.png").string(), out = bench::BenchFile("logo-im.gif").string();
    SavePicture(in, Logo(), pfPNG);
    std::string command = "convert-im6.q16 " + in + " -dither FloydSteinberg -colors " +
                          std::to_string(1 << state.range(0)) + " " + out;
    for (auto _ : state)
        if (!bench::RunQuietly(command)) {
            state.SkipWithError("ImageMagick is not installed: run bench/setup.sh");
            return;
        }
    state.counters["psnr"] = bench::Psnr(Logo(), LoadPicture(out));
}
BENCHMARK(BM_ImageMagickGif)->Arg(8)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace quillon
