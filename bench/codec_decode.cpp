// Decoding a 24-megapixel photo-like JPEG (6000 x 4000, quality 90, made here) beside
// libjpeg-turbo's own djpeg decoding the same file to /dev/null. The peak_MB counter is
// the memory the decode needs beyond what the process held before it (measured in a
// child process), next to decoded_MB, the size of the bitmap itself.
// A 12-megapixel GIF (our encoder's, 256 colours) and run-length BMP (8 bits, flat areas
// and noisy ones) by turns with Pillow loading the same file, in a process kept beside.
// Install the peer with bench/setup.sh.
#include "codec_support.h"
#include "peer_support.h"

#include "common/readfile.h"
#include "imaging/codecs.h"
#include "imaging/picturefiles.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <functional>

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

// Bottom row first, as the format stores them: runs of three and more, literal strings of
// the rest, an end of line after each row and an end of bitmap.
std::string RunLengthBmp(int width, int height, const std::function<uint8_t(int, int)>& index)
{
    std::string data;
    std::vector<uint8_t> row(static_cast<size_t>(width));
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x)
            row[static_cast<size_t>(x)] = index(x, y);
        size_t x = 0;
        while (x < row.size()) {
            size_t run = 1;
            while (x + run < row.size() && run < 255 && row[x + run] == row[x])
                ++run;
            if (run >= 3) {
                data += {static_cast<char>(run), static_cast<char>(row[x])};
                x += run;
                continue;
            }
            size_t end = x;
            while (end < row.size() && end - x < 255 &&
                   !(end + 2 < row.size() && row[end] == row[end + 1] && row[end] == row[end + 2]))
                ++end;
            if (end - x < 3) {
                for (; x < end; ++x)
                    data += {1, static_cast<char>(row[x])};
                continue;
            }
            data += {0, static_cast<char>(end - x)};
            data.append(reinterpret_cast<const char*>(row.data() + x), end - x);
            if ((end - x) % 2)
                data += '\0';
            x = end;
        }
        data += {0, 0};
    }
    data += {0, 1};
    std::string file = "BM";
    auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            file += static_cast<char>(v >> (8 * i));
    };
    put(static_cast<uint32_t>(14 + 40 + 1024 + data.size()), 4);
    put(0, 4);
    put(14 + 40 + 1024, 4);
    put(40, 4);
    put(static_cast<uint32_t>(width), 4);
    put(static_cast<uint32_t>(height), 4);
    put(1, 2);
    put(8, 2);
    put(1, 4); // RLE8
    put(static_cast<uint32_t>(data.size()), 4);
    put(2835, 4);
    put(2835, 4);
    put(256, 4);
    put(0, 4);
    for (uint32_t i = 0; i < 256; ++i)
        put(i * 0x010307u & 0xFFFFFFu, 4);
    return file + data;
}

const std::string& Photo12MPGif()
{
    static const std::string path = [] {
        std::string p = bench::BenchFile("photo12.gif").string();
        SavePicture(p, bench::MakePhotoLike(4000, 3000), pfGIF);
        return p;
    }();
    return path;
}

const std::string& Drawing12MPRle()
{
    static const std::string path = [] {
        std::string p = bench::BenchFile("drawing12.bmp").string();
        uint32_t state = 99;
        std::ofstream(p, std::ios::binary) << RunLengthBmp(4000, 3000, [&](int x, int y) {
            state = state * 1664525u + 1013904223u;
            const bool noisy = (x / 300 + y / 200) % 3 == 0;
            return static_cast<uint8_t>(((x / 90 + y / 70) % 16) * 16 + (noisy ? state >> 28 : 0));
        });
        return p;
    }();
    return path;
}

bench::TPythonPeer& PillowLoader()
{
    static bench::TPythonPeer pillow("from PIL import Image\ndef step(a):\n    Image.open(a[0]).load()", "step");
    return pillow;
}

// Argument: 0 the GIF, 1 the run-length BMP.
void BM_DecodeIndexed12MP(benchmark::State& state)
{
    const std::string& path = state.range(0) == 0 ? Photo12MPGif() : Drawing12MPRle();
    const std::string file = ReadWholeFile(path);
    if (PillowLoader().Run(path) < 0) {
        state.SkipWithError("Pillow is not available: run bench/setup.sh");
        return;
    }
    bench::Interleave(
        state, "pillow",
        [&] { benchmark::DoNotOptimize(state.range(0) == 0 ? DecodeGIF(file).Data() : DecodeBMP(file).Data()); },
        [&] { return PillowLoader().Run(path); });
    state.counters["file_MB"] = double(file.size()) / (1024 * 1024);
    state.counters["peak_MB"] = bench::PeakMegabytes(
        [&] { benchmark::DoNotOptimize(state.range(0) == 0 ? DecodeGIF(file).Data() : DecodeBMP(file).Data()); });
}
BENCHMARK(BM_DecodeIndexed12MP)->ArgName("bmp")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(15);

} // namespace
} // namespace quillon
