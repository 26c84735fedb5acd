// Proves that the audio path allocates nothing: the global allocator is
// replaced by one that counts, and many process calls must not move the count.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "DspTestSupport.h"
#include "dsp/FFTConvolver.h"
#include "dsp/ReverbEngine.h"
#include "dsp/TwoStageFFTConvolver.h"

namespace {
std::atomic<long> allocationCount{0};

void* countedAllocate(std::size_t size, std::size_t alignment) {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    if (size == 0) {
        size = 1;
    }
    // Over-allocate and keep the original pointer just before the aligned block,
    // so that one release path serves every form of new.
    const std::size_t align =
        alignment < alignof(std::max_align_t) ? alignof(std::max_align_t) : alignment;
    void* raw = std::malloc(size + align + sizeof(void*));
    if (raw == nullptr) {
        throw std::bad_alloc();
    }
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(raw) + sizeof(void*);
    const std::uintptr_t aligned = (start + align - 1) & ~(std::uintptr_t{align} - 1);
    reinterpret_cast<void**>(aligned)[-1] = raw;
    return reinterpret_cast<void*>(aligned);
}

void countedRelease(void* p) {
    if (p != nullptr) {
        std::free(reinterpret_cast<void**>(p)[-1]);
    }
}
}  // namespace

void* operator new(std::size_t n) {
    return countedAllocate(n, 0);
}
void* operator new[](std::size_t n) {
    return countedAllocate(n, 0);
}
void* operator new(std::size_t n, std::align_val_t a) {
    return countedAllocate(n, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t n, std::align_val_t a) {
    return countedAllocate(n, static_cast<std::size_t>(a));
}
void operator delete(void* p) noexcept {
    countedRelease(p);
}
void operator delete[](void* p) noexcept {
    countedRelease(p);
}
void operator delete(void* p, std::size_t) noexcept {
    countedRelease(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    countedRelease(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    countedRelease(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    countedRelease(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    countedRelease(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    countedRelease(p);
}

namespace {

const std::size_t kCallSizes[] = {1, 7, 32, 64, 100, 128, 512, 1024, 2048, 4096};

TEST(Allocation, TheCounterSeesAllocations) {
    const long before = allocationCount.load();
    auto p = std::make_unique<std::vector<double>>(100);
    EXPECT_GE(allocationCount.load() - before, 2);
}

TEST(Allocation, ConvolversProcessWithoutAllocating) {
    const std::vector<double> h = dsptest::noise(20000, 1);
    std::vector<double> x = dsptest::noise(8192, 2);
    std::vector<double> y(x.size());
    fftconvolver::FFTConvolver single;
    fftconvolver::TwoStageFFTConvolver twoStage;
    ASSERT_TRUE(single.init(128, h.data(), h.size()));
    ASSERT_TRUE(twoStage.init(102, 1706, h.data(), h.size()));

    const long before = allocationCount.load();
    for (int round = 0; round < 4; ++round) {
        for (std::size_t n : kCallSizes) {
            single.process(x.data(), y.data(), n);
            single.process(y.data(), y.data(), n);
            twoStage.process(x.data(), y.data(), n);
        }
    }
    EXPECT_EQ(allocationCount.load() - before, 0);
}

TEST(Allocation, EngineProcessesWithoutAllocating) {
    auto engine = std::make_unique<ReverbEngine>();
    engine->reset();
    engine->setMix(0.5f);
    engine->setSustain(1.0f);
    const std::vector<double> x0 = dsptest::noise(4096, 3);
    const std::vector<double> x1 = dsptest::noise(4096, 4);
    std::vector<double> y0(4096), y1(4096);
    const double* inputs[2] = {x0.data(), x1.data()};
    double* outputs[2] = {y0.data(), y1.data()};

    const long before = allocationCount.load();
    for (int round = 0; round < 3; ++round) {
        for (std::size_t n : kCallSizes) {
            const auto count = static_cast<std::int32_t>(n);
            engine->process(inputs, outputs, count, true, true);
            engine->process(inputs, outputs, count, false, true);
            engine->process(inputs, outputs, count, true, false);
            engine->process(inputs, outputs, count, false, false);
        }
    }
    EXPECT_EQ(allocationCount.load() - before, 0);

    engine->setSustain(0.0f);  // pass-through path
    const long passBefore = allocationCount.load();
    engine->process(inputs, outputs, 1024, true, true);
    EXPECT_EQ(allocationCount.load() - passBefore, 0);
}

}  // namespace
