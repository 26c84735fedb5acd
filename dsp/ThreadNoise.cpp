#include "dsp/ThreadNoise.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

#if defined(_WIN32)
// The toolchain's thread_local is emulated with a heap block per thread and
// variable, made on first touch. A slot of the system's own thread storage
// holds the word instead: it reads 0 on every thread until set, so the
// state is kept as its difference from 1. Should the process have no slot
// left, the emulated storage serves.
const DWORD kSlot = TlsAlloc();

std::uint32_t& fallback() {
    thread_local std::uint32_t state = 1;
    return state;
}
#else
// The module's thread storage placed beside the executable's, so that a
// thread's first touch does not allocate its block; the dynamic model,
// which a loaded module gets by default, would.
__attribute__((tls_model("initial-exec"))) thread_local std::uint32_t tState = 1;
#endif

}  // namespace

namespace thread_noise {

std::uint32_t load() {
#if defined(_WIN32)
    if (kSlot == TLS_OUT_OF_INDEXES)
        return fallback();
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(TlsGetValue(kSlot))) ^ 1u;
#else
    return tState;
#endif
}

void store(std::uint32_t state) {
#if defined(_WIN32)
    if (kSlot == TLS_OUT_OF_INDEXES) {
        fallback() = state;
        return;
    }
    TlsSetValue(kSlot, reinterpret_cast<void*>(static_cast<std::uintptr_t>(state ^ 1u)));
#else
    tState = state;
#endif
}

}  // namespace thread_noise
