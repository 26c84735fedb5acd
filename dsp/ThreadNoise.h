// The calling thread's noise generator state: every thread's starts at 1.
// Read and written without allocating from any thread's first touch on, so
// that a synthesis's noise taken on a host's audio thread (a thread the
// module has never seen) costs no heap allocation there. Used by
// ReverbEngine only. [any thread, its own state]
#pragma once

#include <cstdint>

namespace thread_noise {

std::uint32_t load();
void store(std::uint32_t state);

}  // namespace thread_noise
