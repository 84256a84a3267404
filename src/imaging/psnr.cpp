#include "imaging/psnr.h"

#include <cmath>

namespace quillon {

double Psnr(const TBitmap& a, const TBitmap& b)
{
    double sum = 0;
    for (size_t i = 0; i < a.SizeInBytes(); ++i) {
        const double d = double(a.Data()[i]) - double(b.Data()[i]);
        sum += d * d;
    }
    const double mse = sum / double(a.SizeInBytes());
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

} // namespace quillon
