#include "tools/audiofile/PcmSample.h"

#include <cmath>

// Ties to even, as IEEE arithmetic rounds by default: a tie is as often
// rounded down as up, so requantising (24-bit material written at 16 bits,
// where one sample in 256 is a tie) adds no offset. Rounded by hand rather
// than with nearbyint, whose ties follow the thread's rounding mode, which a
// loaded plug-in is free to change.
std::int32_t PcmFromSample(double sample, int bits) {
    const double top = std::ldexp(1.0, bits - 1);
    const double x = sample * top;  // exact: a power of two
    if (std::isnan(x))
        return 0;
    if (x >= top - 1.0)
        return static_cast<std::int32_t>(top - 1.0);
    if (x <= -top)
        return static_cast<std::int32_t>(-top);
    // On the magnitude, where a - floor(a) is exact, and ties to even are
    // the same on both sides of zero.
    const double a = std::fabs(x);
    double whole = std::floor(a);
    const double rest = a - whole;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(whole, 2.0) == 1.0))
        whole += 1.0;
    return static_cast<std::int32_t>(x < 0.0 ? -whole : whole);
}
