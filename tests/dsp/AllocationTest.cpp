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
#include "tests/support/CountingNew.h"

namespace {

const std::size_t kCallSizes[] = {1, 7, 32, 64, 100, 128, 512, 1024, 2048, 4096};

TEST(Allocation, TheCounterSeesAllocations) {
    const long before = counting_new::Count().load();
    auto p = std::make_unique<std::vector<double>>(100);
    EXPECT_GE(counting_new::Count().load() - before, 2);
}

TEST(Allocation, ConvolversProcessWithoutAllocating) {
    const std::vector<double> h = dsptest::noise(20000, 1);
    std::vector<double> x = dsptest::noise(8192, 2);
    std::vector<double> y(x.size());
    fftconvolver::FFTConvolver single;
    fftconvolver::TwoStageFFTConvolver twoStage;
    ASSERT_TRUE(single.init(128, h.data(), h.size()));
    ASSERT_TRUE(twoStage.init(102, 1706, h.data(), h.size()));

    const long before = counting_new::Count().load();
    for (int round = 0; round < 4; ++round) {
        for (std::size_t n : kCallSizes) {
            single.process(x.data(), y.data(), n);
            single.process(y.data(), y.data(), n);
            twoStage.process(x.data(), y.data(), n);
        }
    }
    EXPECT_EQ(counting_new::Count().load() - before, 0);
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

    const long before = counting_new::Count().load();
    for (int round = 0; round < 3; ++round) {
        for (std::size_t n : kCallSizes) {
            const auto count = static_cast<std::int32_t>(n);
            engine->process(inputs, outputs, count, true, true);
            engine->process(inputs, outputs, count, false, true);
            engine->process(inputs, outputs, count, true, false);
            engine->process(inputs, outputs, count, false, false);
        }
    }
    EXPECT_EQ(counting_new::Count().load() - before, 0);

    engine->setSustain(0.0f);  // pass-through path
    const long passBefore = counting_new::Count().load();
    engine->process(inputs, outputs, 1024, true, true);
    EXPECT_EQ(counting_new::Count().load() - passBefore, 0);
}

}  // namespace
