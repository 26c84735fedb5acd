// Which kernels the FFT and multiply-accumulates run: plain code for any
// processor, or AVX2/FMA kernels chosen at start-up where the processor has them.
// Read on the audio thread; changed only by tests and benchmarks.
#pragma once

namespace dspkernels {

enum class KernelChoice { Plain, Vector };

// Setting Vector on a processor without AVX2 and FMA keeps the plain kernels
// and returns false.
bool selectKernels(KernelChoice choice);
bool vectorKernelsActive();

}  // namespace dspkernels
