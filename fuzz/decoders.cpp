// One libFuzzer target per picture decoder, chosen at compile time by QUILLON_FUZZ_DECODER.
// A decoder may refuse any input with QuillonError; anything else (a crash, a sanitizer
// report, another exception) is a finding.
#include "common/error.h"
#include "imaging/codecs.h"

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
    } catch (const quillon::QuillonError&) {
    }
    return 0;
}
