// Subnormal numbers treated as zero for the length of one audio callback,
// and the caller's floating-point mode given back on return. A scope object
// on the stack of every format's audio entry point.
#pragma once

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <xmmintrin.h>
#define BRIGHTFALL_HAS_MXCSR 1
#endif

// Subnormal numbers (below 2.2e-308 in double precision) reach the
// convolvers as a signal fades out, and arithmetic on them takes many times
// longer on most x86 processors. For the length of a process callback the
// SSE unit flushes subnormal results to zero (FTZ) and reads subnormal
// operands as zero (DAZ); the caller's control word is restored on return,
// so the host's own arithmetic is untouched. Only output that would have
// been subnormal changes: it becomes zero.
class DenormalsAreZero {
  public:
#if BRIGHTFALL_HAS_MXCSR
    static constexpr unsigned kFlushToZero = 0x8000;
    static constexpr unsigned kDenormalsAreZero = 0x0040;
    DenormalsAreZero() : mSaved(_mm_getcsr()) {
        _mm_setcsr(mSaved | kFlushToZero | kDenormalsAreZero);
    }
    ~DenormalsAreZero() {
        _mm_setcsr(mSaved);
    }
#else
    DenormalsAreZero() {}
#endif
    DenormalsAreZero(const DenormalsAreZero&) = delete;
    DenormalsAreZero& operator=(const DenormalsAreZero&) = delete;

#if BRIGHTFALL_HAS_MXCSR
  private:
    unsigned mSaved;
#endif
};
