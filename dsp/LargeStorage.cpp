#include "dsp/LargeStorage.h"

#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace fftconvolver {

namespace {

#if defined(__linux__) && defined(MADV_HUGEPAGE)
// Elsewhere there is nothing to ask for, and aligning to 2 MB would only
// cost memory (an aligned allocation there may commit its padding).
constexpr bool kAskForHugePages = true;
#else
constexpr bool kAskForHugePages = false;
#endif

bool onHugePages(std::size_t bytes) {
    return kAskForHugePages && bytes >= LargeStorage::kLargeBytes;
}

// Whole huge pages, so that no other allocation shares the last one.
std::size_t roundedBytes(std::size_t bytes) {
    return (bytes + LargeStorage::kHugePage - 1) & ~(LargeStorage::kHugePage - 1);
}

}  // namespace

void* LargeStorage::allocate(std::size_t bytes, std::size_t alignment) {
    if (!onHugePages(bytes)) {
        return ::operator new (bytes, std::align_val_t{alignment});
    }
    const std::size_t rounded = roundedBytes(bytes);
    if (rounded < bytes) {  // the rounding wrapped around
        throw std::bad_alloc();
    }
    void* storage = ::operator new (rounded, std::align_val_t{kHugePage});
#if defined(MADV_HUGEPAGE)
    // Only a hint: a kernel set never to use huge pages refuses it, and the
    // pages stay small.
    (void)::madvise(storage, rounded, MADV_HUGEPAGE);
#endif
    return storage;
}

void LargeStorage::release(void* storage, std::size_t bytes, std::size_t alignment) noexcept {
    if (storage == nullptr) {
        return;
    }
    ::operator delete (storage, std::align_val_t{onHugePages(bytes) ? kHugePage : alignment});
}

}  // namespace fftconvolver
