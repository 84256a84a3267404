// What the EXIF orientation costs on the show path: reading the tag of a 24-megapixel
// photo (beside decoding it), and showing the photo stored upright (band by band) beside
// the same photo stored sideways with orientation 6 (decoded whole, then turned).
#include "codec_support.h"

#include "imaging/codecs.h"
#include "imaging/exiforientation.h"
#include "imaging/picturefiles.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>

namespace quillon {
namespace {

class TNoListener : public TDecodeListener {
public:
    void Started(const TBitmap&) override {}
    void RowsDone(int) override {}
};

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The 24-megapixel photo with an Exif segment of the given orientation after its start.
const std::string& PhotoWithOrientation(int orientation)
{
    static std::string paths[9];
    std::string& path = paths[orientation];
    if (path.empty()) {
        const std::string tiff = std::string("MM\0\x2a\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0", 19) +
                                 char(orientation) + std::string(6, '\0');
        const std::string body = std::string("Exif\0\0", 6) + tiff;
        const std::string segment = std::string("\xFF\xE1") + char((body.size() + 2) >> 8) + char(body.size() + 2) + body;
        const std::string jpeg = ReadFile(bench::Photo24MPJpeg());
        path = bench::BenchFile("photo24-orientation" + std::to_string(orientation) + ".jpg").string();
        std::ofstream(path, std::ios::binary) << jpeg.substr(0, 2) + segment + jpeg.substr(2);
    }
    return path;
}

void BM_ReadOrientation24MP(benchmark::State& state)
{
    const std::string file = ReadFile(PhotoWithOrientation(6));
    if (ExifOrientationOfJPEG(file) != 6) {
        state.SkipWithError("the photo's orientation was not read");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(ExifOrientationOfJPEG(file));
}
BENCHMARK(BM_ReadOrientation24MP);

void ShowPath(benchmark::State& state, int orientation)
{
    const std::string& path = PhotoWithOrientation(orientation);
    TNoListener listener;
    for (auto _ : state) {
        TBitmap picture;
        LoadPictureInto(path, picture, listener);
        benchmark::DoNotOptimize(picture.Data());
    }
}
void BM_ShowPathUpright24MP(benchmark::State& state) { ShowPath(state, 1); }
void BM_ShowPathTurned24MP(benchmark::State& state) { ShowPath(state, 6); }
BENCHMARK(BM_ShowPathUpright24MP)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_ShowPathTurned24MP)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

} // namespace
} // namespace quillon
