// The aligned forms of operator new and delete for the dispatcher fuzzer, which builds an
// instance per input: a freed block is kept, poisoned, and handed out again for the next request
// of the same size and alignment. Their one caller is the convolvers' storage (dsp/Buffer.h).
//
// Why: ASan maps blocks this large afresh for every allocation and unmaps them when they leave
// its quarantine, so each instance's few megabytes of reserved convolver storage were new pages,
// faulted in and zeroed by the kernel; that was a third of the fuzzer's time. The plug-in's code
// is the same either way. What ASan still sees: a use of a kept block is reported as a
// use-after-poison, an access past a block's end hits its allocation's redzone (blocks are only
// reused at their exact size), a reused block starts with the same 0xbe fill as a fresh one, and
// freeing a block that is not live, or with the wrong size, aborts as ASan would. The plain forms
// are ASan's own.
#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

// Kept blocks beyond this many bytes are freed: an input that grows the engine's storage beyond
// the usual does not leave the process holding it.
constexpr std::size_t kMaxKeptBytes = std::size_t{64} << 20;
// ASan fills this much of a fresh block (max_malloc_fill_size) with 0xbe (malloc_fill_byte).
constexpr std::size_t kFillBytes = 4096;

struct Pool {
    std::mutex mutex;
    std::unordered_map<void*, std::size_t> live;                             // block -> size
    std::map<std::pair<std::size_t, std::size_t>, std::vector<void*>> kept;  // (size, alignment)
    std::size_t keptBytes = 0;
};

// Never destroyed, so that LeakSanitizer, which checks after static destructors have run, finds
// the kept blocks still reachable.
Pool& ThePool() {
    static Pool* pool = new Pool;
    return *pool;
}

void* Allocate(std::size_t size, std::align_val_t align) noexcept {
    const std::size_t alignment = std::max(static_cast<std::size_t>(align), sizeof(void*));
    if (size == 0)
        size = 1;
    Pool& pool = ThePool();
    std::lock_guard<std::mutex> lock(pool.mutex);
    void* block = nullptr;
    auto found = pool.kept.find({size, alignment});
    if (found != pool.kept.end() && !found->second.empty()) {
        block = found->second.back();
        found->second.pop_back();
        pool.keptBytes -= size;
        ASAN_UNPOISON_MEMORY_REGION(block, size);
        std::memset(block, 0xbe, std::min(size, kFillBytes));
    } else if (posix_memalign(&block, alignment, size) != 0) {
        return nullptr;
    }
    pool.live.emplace(block, size);
    return block;
}

// sizedAs: the size a sized delete names, 0 for the unsized forms.
void Release(void* block, std::align_val_t align, std::size_t sizedAs = 0) noexcept {
    if (!block)
        return;
    const std::size_t alignment = std::max(static_cast<std::size_t>(align), sizeof(void*));
    Pool& pool = ThePool();
    std::lock_guard<std::mutex> lock(pool.mutex);
    auto found = pool.live.find(block);
    if (found == pool.live.end()) {
        std::fprintf(stderr, "aligned operator delete of %p, which is not a live block\n", block);
        std::abort();
    }
    const std::size_t size = found->second;
    if (sizedAs != 0 && sizedAs != size) {
        std::fprintf(stderr, "sized delete of %zu bytes for a block of %zu\n", sizedAs, size);
        std::abort();
    }
    pool.live.erase(found);
    if (pool.keptBytes + size > kMaxKeptBytes) {
        std::free(block);
        return;
    }
    ASAN_POISON_MEMORY_REGION(block, size);
    pool.kept[{size, alignment}].push_back(block);
    pool.keptBytes += size;
}

void* AllocateOrThrow(std::size_t size, std::align_val_t align) {
    void* block = Allocate(size, align);
    if (!block)
        throw std::bad_alloc();
    return block;
}

}  // namespace

void* operator new(std::size_t n, std::align_val_t a) {
    return AllocateOrThrow(n, a);
}
void* operator new[](std::size_t n, std::align_val_t a) {
    return AllocateOrThrow(n, a);
}
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return Allocate(n, a);
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return Allocate(n, a);
}
void operator delete(void* p, std::align_val_t a) noexcept {
    Release(p, a);
}
void operator delete[](void* p, std::align_val_t a) noexcept {
    Release(p, a);
}
void operator delete(void* p, std::size_t n, std::align_val_t a) noexcept {
    Release(p, a, n);
}
void operator delete[](void* p, std::size_t n, std::align_val_t a) noexcept {
    Release(p, a, n);
}
void operator delete(void* p, std::align_val_t a, const std::nothrow_t&) noexcept {
    Release(p, a);
}
void operator delete[](void* p, std::align_val_t a, const std::nothrow_t&) noexcept {
    Release(p, a);
}
