// What showing a selected logo costs for a 24-megapixel photo: decode, the display picture
// fitted to an 800 x 600 pane, the initial frame and the 176 x 208 logo, as the window does
// it (ShowPicture). Each run is followed by djpeg decoding the same file alone, timed as a
// whole process (x_djpeg is the ratio of the medians), in the three chroma layouts cameras
// and editors write. Showing the same logo again (fit to pane toggled, the logo selected
// again) takes the kept picture and decodes nothing. peak_MB is the memory a show needs
// beyond what the process held before it, also as a multiple of the decoded picture.
// Install the peer with bench/setup.sh.
#include "codec_support.h"
#include "peer_support.h"

#include "imaging/picturecache.h"
#include "imaging/pictureshow.h"
#include "logodir/logodirobject.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <jpeglib.h>

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

// The photo as a JPEG with the given luma sampling (2x2 is 4:2:0, 2x1 4:2:2, 1x1 4:4:4).
const std::string& PhotoJpeg(int h, int v)
{
    static std::map<int, std::string> paths;
    std::string& path = paths[h * 10 + v];
    if (path.empty()) {
        static const TBitmap photo = bench::MakePhotoLike(6000, 4000);
        path = bench::BenchFile("photo24-" + std::to_string(h) + std::to_string(v) + ".jpg").string();
        FILE* file = std::fopen(path.c_str(), "wb");
        jpeg_compress_struct cinfo;
        jpeg_error_mgr err;
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_compress(&cinfo);
        jpeg_stdio_dest(&cinfo, file);
        cinfo.image_width = JDIMENSION(photo.Width());
        cinfo.image_height = JDIMENSION(photo.Height());
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_RGB;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, 90, TRUE);
        cinfo.comp_info[0].h_samp_factor = h;
        cinfo.comp_info[0].v_samp_factor = v;
        jpeg_start_compress(&cinfo, TRUE);
        while (cinfo.next_scanline < cinfo.image_height) {
            JSAMPROW row = const_cast<uint8_t*>(photo.Row(int(cinfo.next_scanline)));
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_compress(&cinfo);
        jpeg_destroy_compress(&cinfo);
        std::fclose(file);
    }
    return path;
}

void Show(const std::string& path, TPictureCache* cache)
{
    TLogoDirObject node = LogoNode();
    TBitmap logo;
    auto image = ShowPicture(path, node, {{800, 600}, true, {}}, logo, cache);
    benchmark::DoNotOptimize(image->DisplayPicture().Data());
    benchmark::DoNotOptimize(logo.Data());
}

// Arguments: luma sampling, horizontal and vertical.
void BM_ShowPicture24MP(benchmark::State& state)
{
    const std::string& path = PhotoJpeg(int(state.range(0)), int(state.range(1)));
    const std::string djpeg = "djpeg -outfile /dev/null " + path;
    bench::Interleave(state, "djpeg", [&] { Show(path, nullptr); }, [&] { return bench::ProcessMilliseconds(djpeg); });
    const double peak = bench::PeakMegabytes([&] { Show(path, nullptr); });
    state.counters["peak_MB"] = peak;
    state.counters["x_decoded"] = peak / bench::kPhoto24MPDecodedMegabytes;
}
BENCHMARK(BM_ShowPicture24MP)
    ->ArgNames({"h", "v"})
    ->Args({2, 2})
    ->Args({2, 1})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(12);

// The same logo shown again: the picture is kept, only the display picture and the logo
// are made anew.
void BM_ShowAgain24MP(benchmark::State& state)
{
    const std::string& path = PhotoJpeg(2, 2);
    TPictureCache cache;
    Show(path, &cache);
    bench::Timed(state, [&] { Show(path, &cache); });
}
BENCHMARK(BM_ShowAgain24MP)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

} // namespace
} // namespace quillon
