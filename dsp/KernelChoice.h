// Which kernels the FFT and multiply-accumulates run: plain code for any
// processor, AVX2/FMA kernels, or those with the multiply-accumulates, the
// head's direct convolution and the transforms' radix-4 passes eight doubles
// wide (AVX-512), the widest the processor has chosen at start-up.
// Read on the audio thread; changed only by tests and benchmarks.
#pragma once

namespace dspkernels {

enum class KernelChoice { Plain, Vector, Wide };

// A choice the processor cannot run keeps the widest it can below it and
// returns false: Vector needs AVX2 and FMA, Wide AVX-512F as well.
bool selectKernels(KernelChoice choice);
bool vectorKernelsActive();
// Wide implies vector: the wide kernels leave their last bins to the AVX2 ones.
bool wideKernelsActive();

}  // namespace dspkernels
