// The whole plug-in's audio path allocates nothing: the global operator new
// and delete are replaced by counting ones (and, outside sanitizer builds,
// malloc and its family too, which the framework's buffers use), and
// thousands of calls of all three process callbacks, at block sizes from 1
// to 4096, mono and stereo, after a "Sustain" change, must not move the
// count. The plug-in is linked in statically so the counters see it all.
// Then the built modules, loaded as hosts load them, are driven from a
// thread that has never called them, counting from its very first call: a
// host starts such threads whenever its engine restarts.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "PluginHarness.h"
#include "tools/host/VstHost.h"
#if defined(BRIGHTFALL_LV2_DSP)
#include <dlfcn.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <map>
#include <string>
#endif
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

// Runs `calls` on a thread of its own and returns the allocations counted
// from the start of that thread's first call to the end of its last. The
// thread is the only one running meanwhile.
template <typename Calls>
long AllocationsOnAFreshThread(Calls calls) {
    long counted = -1;
    std::thread audio([&] {
        const long before = Allocations();
        calls();
        counted = Allocations() - before;
    });
    audio.join();
    return counted;
}

TEST(PluginAllocation, ModulesLoadedAsHostsDoAllocateNothingFromAFreshThreadsFirstCall) {
    std::string error;
    const std::unique_ptr<PluginModule> module = PluginModule::Load(BRIGHTFALL_MODULE, &error);
    ASSERT_TRUE(module) << error;
    VstHost host(*module);
    host.SetRecording(false);
    ASSERT_NE(host.Effect(), nullptr);
    host.Dispatch(effOpen);
    host.Dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    host.Dispatch(effSetBlockSize, 0, 256);
    host.Dispatch(effMainsChanged, 0, 1);
    StereoBuffers buffers(256);
    Random random(11);
    buffers.Fill(random, 0.5);
    AEffect* e = host.Effect();
    // Two fresh audio threads, one after the other, as a restarted engine
    // makes; the second also moves Sustain as automation does, the host
    // saying it is the real-time thread.
    for (int thread = 0; thread < 2; ++thread) {
        const bool automate = thread == 1;
        const long counted = AllocationsOnAFreshThread([&] {
            if (automate)
                host.SetAudioThread(std::this_thread::get_id());
            for (int call = 0; call < 64; ++call) {
                if (automate && call % 8 == 0)
                    e->setParameter(e, 1, static_cast<float>(call) / 64.0f);
                e->processReplacing(e, buffers.inPtrsF, buffers.outPtrsF, 256);
                e->processDoubleReplacing(e, buffers.inPtrs, buffers.outPtrs, 256);
            }
        });
        EXPECT_EQ(counted, 0) << "VST 2 module, fresh thread " << thread;
    }
    host.SetAudioThread(std::thread::id());
    EXPECT_TRUE(buffers.OutputsFinite(256));
    host.Dispatch(effMainsChanged, 0, 0);

#if defined(BRIGHTFALL_LV2_DSP)
    // The LV2 binary, without a worker: its Sustain changes are prepared in
    // slices of the runs that follow, on the fresh thread.
    void* library = dlopen(BRIGHTFALL_LV2_DSP, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    using DescriptorFn = const LV2_Descriptor* (*)(std::uint32_t);
    const auto descriptorOf = reinterpret_cast<DescriptorFn>(dlsym(library, "lv2_descriptor"));
    ASSERT_NE(descriptorOf, nullptr);
    const LV2_Descriptor* d = descriptorOf(0);
    ASSERT_NE(d, nullptr);
    std::map<std::string, LV2_URID> urids;
    LV2_URID_Map map{&urids, [](LV2_URID_Map_Handle h, const char* uri) {
                         auto& ids = *static_cast<std::map<std::string, LV2_URID>*>(h);
                         return ids.emplace(uri, static_cast<LV2_URID>(ids.size() + 1))
                             .first->second;
                     }};
    std::int32_t maxBlock = 256;
    const LV2_Options_Option options[] = {
        {LV2_OPTIONS_INSTANCE, 0, map.map(&urids, LV2_BUF_SIZE__maxBlockLength),
         sizeof(maxBlock), map.map(&urids, LV2_ATOM__Int), &maxBlock},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    const LV2_Feature mapFeature{LV2_URID__map, &map};
    const LV2_Feature optionsFeature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
    const LV2_Feature* features[] = {&mapFeature, &optionsFeature, nullptr};
    LV2_Handle instance = d->instantiate(d, 48000.0, BRIGHTFALL_LV2_BUNDLE "/", features);
    ASSERT_NE(instance, nullptr);
    std::vector<float> audio[4];
    for (auto& a : audio)
        a.assign(256, 0.25f);
    float controls[2] = {50.0f, 50.0f};
    for (std::uint32_t port = 0; port < 4; ++port)
        d->connect_port(instance, port, audio[port].data());
    d->connect_port(instance, 4, &controls[0]);
    d->connect_port(instance, 5, &controls[1]);
    d->activate(instance);
    for (int thread = 0; thread < 2; ++thread) {
        const long counted = AllocationsOnAFreshThread([&] {
            for (int run = 0; run < 64; ++run) {
                if (thread == 1 && run % 8 == 0)
                    controls[1] = static_cast<float>(run);
                d->run(instance, 256);
            }
        });
        EXPECT_EQ(counted, 0) << "LV2 binary, fresh thread " << thread;
    }
    for (int port = 2; port < 4; ++port)
        for (float v : audio[port])
            ASSERT_TRUE(std::isfinite(v));
    d->deactivate(instance);
    d->cleanup(instance);
    dlclose(library);
#endif
}

}  // namespace
