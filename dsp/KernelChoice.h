// Which arithmetic kernels the FFT and the multiply-accumulates run: plain
// code for any processor, or wider AVX2/FMA kernels, chosen once at start-up
// on x86 processors that have them. Read on the audio thread at every call;
// changed only by tests and benchmarks while nothing is processing.
#pragma once

namespace dspkernels {

enum class KernelChoice { Plain, Vector };

// Setting Vector on a processor without AVX2 and FMA keeps the plain kernels
// and returns false.
bool selectKernels(KernelChoice choice);
bool vectorKernelsActive();

}  // namespace dspkernels
