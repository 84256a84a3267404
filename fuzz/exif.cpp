// The EXIF orientation reader over any bytes: it must never read outside them, and it
// answers 1..8 whatever it is given.
#include "imaging/exiforientation.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const int orientation = quillon::ExifOrientationOfJPEG({reinterpret_cast<const char*>(data), size});
    if (orientation < 1 || orientation > 8)
        __builtin_trap();
    return 0;
}
