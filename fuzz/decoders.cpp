// One libFuzzer target per picture decoder, chosen at compile time by QUILLON_FUZZ_DECODER;
// the JPEG one also turns what it decoded losslessly.
// A decoder may refuse any input with QuillonError; anything else (a crash, a sanitizer
// report, another exception) is a finding.
#include "common/error.h"
#include "imaging/codecs.h"
#ifdef QUILLON_FUZZ_LOSSLESS
#include "imaging/losslessjpeg.h"
#endif

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view file(reinterpret_cast<const char*>(data), size);
    try {
        quillon::TBitmap picture = quillon::QUILLON_FUZZ_DECODER(file);
        if (picture.Width() <= 0 || picture.Height() <= 0)
            __builtin_trap();
#ifdef QUILLON_FUZZ_LOSSLESS
        // The mirror and rotate commands turn a file the decoder has accepted.
        (void)quillon::TurnJPEGLosslessly(file, quillon::TJPEGTurn::Rotate90);
#endif
    } catch (const quillon::QuillonError&) {
    }
    return 0;
}
