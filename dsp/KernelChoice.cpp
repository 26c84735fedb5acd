#include "dsp/KernelChoice.h"

namespace dspkernels {
namespace {

bool processorHasAvx2Fma() {
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
    return false;
#endif
}

bool vectorActive = processorHasAvx2Fma();

}  // namespace

bool selectKernels(KernelChoice choice) {
    vectorActive = choice == KernelChoice::Vector && processorHasAvx2Fma();
    return vectorActive == (choice == KernelChoice::Vector);
}

bool vectorKernelsActive() {
    return vectorActive;
}

}  // namespace dspkernels
