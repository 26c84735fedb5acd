// Sample and spectrum arithmetic of the convolvers' inner loops. Pure functions
// over caller-owned arrays, called on the audio thread; they allocate nothing.
#pragma once

#include <cstddef>

namespace fftconvolver {

// result[i] = a[i] + b[i]
void addSamples(double* result, const double* a, const double* b, std::size_t n);

// (re + i*im) += (reA + i*imA) * (reB + i*imB), bin by bin: the two products of
// each part are combined first and the accumulator is added last.
void multiplyAccumulate(double* re, double* im, const double* reA, const double* imA,
                        const double* reB, const double* imB, std::size_t n);

}  // namespace fftconvolver
