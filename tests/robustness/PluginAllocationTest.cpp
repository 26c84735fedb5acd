// The whole plug-in's audio path allocates nothing: the global operator new
// and delete are replaced by counting ones (and, outside sanitizer builds,
// malloc and its family too, which the framework's buffers use), and
// thousands of calls of all three process callbacks, at block sizes from 1
// to 4096, mono and stereo, after a "Sustain" change, must not move the
// count. The plug-in is linked in statically so the counters see it all.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "PluginHarness.h"
#include "tests/support/CountingNew.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define BRIGHTFALL_COUNT_MALLOC 0  // the sanitizer owns malloc
#elif defined(__GLIBC__)
#define BRIGHTFALL_COUNT_MALLOC 1
#else
#define BRIGHTFALL_COUNT_MALLOC 0
#endif

namespace {

std::atomic<long> gMallocCount{0};

}  // namespace

#if BRIGHTFALL_COUNT_MALLOC
// glibc's own entry points, which its malloc calls under the public names.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t n) {
    gMallocCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(n);
}
void* calloc(std::size_t n, std::size_t size) {
    gMallocCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t n) {
    gMallocCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, n);
}
void free(void* p) {
    if (p)
        gMallocCount.fetch_add(1, std::memory_order_relaxed);
    __libc_free(p);
}
}
#endif

namespace {

using robustness::Instance;
using robustness::Random;
using robustness::StereoBuffers;

long Allocations() {
    return counting_new::Count().load() + gMallocCount.load();
}

TEST(PluginAllocation, TheCountersSeeAllocations) {
    const long before = Allocations();
    auto p = std::make_unique<std::vector<double>>(100);
    EXPECT_GE(Allocations() - before, 2);
#if BRIGHTFALL_COUNT_MALLOC
    const long mallocBefore = gMallocCount.load();
    void* raw = std::realloc(nullptr, 64);
    std::free(raw);
    EXPECT_EQ(gMallocCount.load() - mallocBefore, 2);
#endif
}

// Every process callback, each block size, one connection; with
// `automate`, Sustain moves on this thread every few sizes, as host
// automation does. Returns the number of calls made.
long ProcessEverySize(Instance& plug, StereoBuffers& buffers, const std::vector<int>& sizes,
                      bool automate = false) {
    AEffect* e = plug.Effect();
    long calls = 0;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const int frames = sizes[i];
        if (automate && i % 5 == 0)
            e->setParameter(e, 1, static_cast<float>(i % 97) / 96.0f);
        e->process(e, buffers.inPtrsF, buffers.outPtrsF, frames);
        e->processReplacing(e, buffers.inPtrsF, buffers.outPtrsF, frames);
        e->processDoubleReplacing(e, buffers.inPtrs, buffers.outPtrs, frames);
        calls += 3;
    }
    return calls;
}

TEST(PluginAllocation, ProcessCallbacksAllocateNothing) {
    Instance plug;
    ASSERT_NE(plug.Effect(), nullptr);
    plug.Start(48000.0f, 1024);
    StereoBuffers buffers(4096);
    Random random(7);
    buffers.Fill(random, 0.5);

    // Every size from 1 to 64, the powers of two and their neighbours up to
    // 4096, and random ones: calls longer than the announced block size are
    // processed in pieces, shorter ones fill the convolvers' blocks partly.
    std::vector<int> sizes;
    for (int n = 1; n <= 64; ++n)
        sizes.push_back(n);
    for (int n = 128; n <= 4096; n *= 2) {
        sizes.push_back(n - 1);
        sizes.push_back(n);
        if (n < 4096)
            sizes.push_back(n + 1);
    }
    for (int i = 0; i < 200; ++i)
        sizes.push_back(random.Between(1, 4096));

    long calls = 0, allocations = 0;
    for (int round = 0; round < 2; ++round) {
        // A "Sustain" change re-synthesises and prepares the convolvers anew:
        // outside the counted stretch, as it happens on a host thread.
        AEffect* e = plug.Effect();
        e->setParameter(e, 1, round == 0 ? 0.8f : 0.3f);
        e->setParameter(e, 0, 0.6f);
        for (int arrangement = 0; arrangement < 3; ++arrangement) {
            const int ins = arrangement == 0 ? 1 : 2;
            const int outs = arrangement == 2 ? 2 : ins;
            plug.Arrange(ins, outs);
            const long before = Allocations();
            calls += ProcessEverySize(plug, buffers, sizes);
            allocations += Allocations() - before;
        }
    }
    // Sustain automated on the audio thread: each change is prepared in
    // slices of the process calls that follow, into storage set aside before.
    robustness::RealtimeThread().store(std::this_thread::get_id());
    for (int arrangement = 0; arrangement < 3; ++arrangement) {
        const int ins = arrangement == 0 ? 1 : 2;
        plug.Arrange(ins, arrangement == 2 ? 2 : ins);
        const long before = Allocations();
        calls += ProcessEverySize(plug, buffers, sizes, true);
        allocations += Allocations() - before;
    }
    robustness::RealtimeThread().store(std::thread::id());
    std::printf("allocation check: %ld allocations in %ld process calls\n", allocations, calls);
    EXPECT_EQ(allocations, 0);
    EXPECT_TRUE(buffers.OutputsFinite(4096));
}

}  // namespace
