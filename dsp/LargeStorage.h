// Storage for the convolvers' large arrays (the far stages' spectra, a few
// megabytes each). Buffer calls it for every allocation; the audio path
// never does, it only reads and writes what was allocated here.
//
// The spectra are read in full every few blocks, after the host has run
// other work, so the translations of their pages are usually cold: with
// 4 KB pages a stage's spectra span about a thousand of them. Arrays from
// kLargeBytes up are therefore, on Linux, aligned and sized to whole 2 MB
// pages and the kernel is asked to back them with transparent huge pages
// (granted where it is set to do so on request, Debian's default). Elsewhere,
// or where the kernel declines, they are ordinary pages.
#pragma once

#include <cstddef>

namespace fftconvolver {

class LargeStorage {
  public:
    static constexpr std::size_t kHugePage = std::size_t{2} << 20;
    static constexpr std::size_t kLargeBytes = std::size_t{1} << 20;

    // Uninitialised storage of at least `bytes`, aligned to `alignment` (a
    // power of two, at most kHugePage). Throws std::bad_alloc as operator new
    // does.
    static void* allocate(std::size_t bytes, std::size_t alignment);
    // Frees storage from allocate, with the same bytes and alignment.
    static void release(void* storage, std::size_t bytes, std::size_t alignment) noexcept;
};

}  // namespace fftconvolver
