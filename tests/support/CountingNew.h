// The global operator new and delete replaced by ones that count every
// allocation, for the tests that prove an audio path allocates nothing.
// Include it in exactly one source file of a test program. No
// posix_memalign, so it serves the Windows builds too: each block keeps the
// start of its malloc'd memory just before itself, so one release path
// serves every form of new.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace counting_new {

// Allocations through any form of operator new so far, on any thread.
inline std::atomic<long>& Count() {
    static std::atomic<long> count{0};
    return count;
}

inline void* Allocate(std::size_t size, std::size_t alignment) {
    Count().fetch_add(1, std::memory_order_relaxed);
    if (size == 0)
        size = 1;
    const std::size_t align =
        alignment < alignof(std::max_align_t) ? alignof(std::max_align_t) : alignment;
    void* raw = std::malloc(size + align + sizeof(void*));
    if (raw == nullptr)
        throw std::bad_alloc();
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(raw) + sizeof(void*);
    const std::uintptr_t aligned = (start + align - 1) & ~(std::uintptr_t{align} - 1);
    reinterpret_cast<void**>(aligned)[-1] = raw;
    return reinterpret_cast<void*>(aligned);
}

inline void* AllocateOrNull(std::size_t size) noexcept {
    try {
        return Allocate(size, 0);
    } catch (...) {
        return nullptr;
    }
}

inline void Release(void* p) noexcept {
    if (p != nullptr)
        std::free(reinterpret_cast<void**>(p)[-1]);
}

}  // namespace counting_new

void* operator new(std::size_t n) {
    return counting_new::Allocate(n, 0);
}
void* operator new[](std::size_t n) {
    return counting_new::Allocate(n, 0);
}
void* operator new(std::size_t n, std::align_val_t a) {
    return counting_new::Allocate(n, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t n, std::align_val_t a) {
    return counting_new::Allocate(n, static_cast<std::size_t>(a));
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    return counting_new::AllocateOrNull(n);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    return counting_new::AllocateOrNull(n);
}
void operator delete(void* p) noexcept {
    counting_new::Release(p);
}
void operator delete[](void* p) noexcept {
    counting_new::Release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    counting_new::Release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    counting_new::Release(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    counting_new::Release(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    counting_new::Release(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    counting_new::Release(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    counting_new::Release(p);
}
