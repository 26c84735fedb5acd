#include "dsp/SpectrumMath.h"

namespace fftconvolver {

void addSamples(double* result, const double* a, const double* b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        result[i] = a[i] + b[i];
    }
}

void multiplyAccumulate(double* re, double* im, const double* reA, const double* imA,
                        const double* reB, const double* imB, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const double r = reA[i] * reB[i] - imA[i] * imB[i];
        const double m = reA[i] * imB[i] + imA[i] * reB[i];
        re[i] = r + re[i];
        im[i] = m + im[i];
    }
}

}  // namespace fftconvolver
