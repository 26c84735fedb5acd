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

bool processorHasAvx512() {
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
    __builtin_cpu_init();
    return processorHasAvx2Fma() && __builtin_cpu_supports("avx512f");
#else
    return false;
#endif
}

bool vectorActive = processorHasAvx2Fma();
bool wideActive = processorHasAvx512();

}  // namespace

bool selectKernels(KernelChoice choice) {
    vectorActive = choice != KernelChoice::Plain && processorHasAvx2Fma();
    wideActive = choice == KernelChoice::Wide && processorHasAvx512();
    switch (choice) {
        case KernelChoice::Plain:
            return true;
        case KernelChoice::Vector:
            return vectorActive;
        case KernelChoice::Wide:
            return wideActive;
    }
    return false;
}

bool vectorKernelsActive() {
    return vectorActive;
}

bool wideKernelsActive() {
    return wideActive;
}

}  // namespace dspkernels
