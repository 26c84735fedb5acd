// The plug-in base: channel configurations, pins and their buffers, the
// default processing, saved state and the growable buffer underneath; the
// audio path's costly changes, prepared aside.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <thread>
#include <vector>

#include "TestPlug.h"
#include "framework/ChunkCodec.h"
#include "framework/GrowableBuffer.h"
#include "framework/HostKind.h"
#include "framework/IPlugAudio.h"

TEST(ChannelIO, ParsesPairsAndSizesPins) {
    TestPlug plug("1-1 2-2");
    EXPECT_TRUE(plug.LegalIO(1, -1));
    EXPECT_TRUE(plug.LegalIO(2, 2));
    EXPECT_TRUE(plug.LegalIO(-1, 1));
    EXPECT_FALSE(plug.LegalIO(1, 2));
    EXPECT_EQ(plug.NInChannels(), 2);
    EXPECT_EQ(plug.NOutChannels(), 2);

    TestPlug stereoOnly("2-2");
    EXPECT_FALSE(stereoOnly.LegalIO(1, -1));

    TestPlug trailing("1-1 ");  // the space announces a third pair, (0, 0)
    EXPECT_TRUE(trailing.LegalIO(0, 0));

    TestPlug wide("1-2 4-6");
    EXPECT_EQ(wide.NInChannels(), 4);
    EXPECT_EQ(wide.NOutChannels(), 6);
}

TEST(Pins, BlockSizeChangesZeroScratchAndSameSizeKeepsIt) {
    TestPlug plug;
    plug.SetInputConnections(0, 2, false);
    plug.SetMaxBlockSize(64);
    EXPECT_EQ(plug.GetBlockSize(), 64);
    EXPECT_EQ(plug.GetScratchFrames(), 64);
    double* scratch = plug.GetInputPin(1).scratch.Get();
    scratch[3] = 7.0;
    plug.SetMaxBlockSize(64);
    EXPECT_EQ(plug.GetInputPin(1).scratch.Get()[3], 7.0);
    plug.SetMaxBlockSize(4096);
    EXPECT_EQ(plug.GetInputPin(1).scratch.Get()[3], 0.0);
    // A disconnected pin must follow its buffer when it moves.
    EXPECT_EQ(*plug.GetInputPin(1).slot, plug.GetInputPin(1).scratch.Get());
    plug.SetMaxBlockSize(0);  // meaningless: keep what we have
    EXPECT_EQ(plug.GetBlockSize(), 4096);
    // A huge announced block size is remembered, but scratch space stays
    // bounded: longer calls run in pieces.
    plug.SetMaxBlockSize(1 << 28);
    EXPECT_EQ(plug.GetBlockSize(), 1 << 28);
    EXPECT_EQ(plug.GetScratchFrames(), IPlugBase::kMaxScratchFrames);
    EXPECT_EQ(plug.GetInputPin(0).scratch.GetSize(), IPlugBase::kMaxScratchFrames);
}

TEST(Pins, DisconnectedPinsReadTheirOwnScratch) {
    TestPlug plug;
    plug.SetMaxBlockSize(8);
    plug.SetInputConnections(0, 1, true);
    plug.SetInputConnections(1, 5, false);  // count beyond the pins is cut
    std::vector<double> host(8, 1.0);
    double* hostPtrs[] = {host.data()};
    plug.AttachInputs(0, plug.NInChannels(), hostPtrs, 8);
    EXPECT_EQ(*plug.GetInputPin(0).slot, host.data());
    EXPECT_EQ(*plug.GetInputPin(1).slot, plug.GetInputPin(1).scratch.Get());
}

TEST(Pins, DefaultProcessingCopiesAndZeroes) {
    TestPlug plug;
    std::vector<double> a{1, 2, 3}, b{4, 5, 6}, o1(3, 9), o2(3, 9);
    double* in[] = {a.data(), b.data()};
    double* out[] = {o1.data(), o2.data()};
    plug.ProcessBlock(in, out, 3);
    EXPECT_EQ(o1, a);
    EXPECT_EQ(o2, b);

    TestPlug monoToStereo("1-2");
    std::fill(o2.begin(), o2.end(), 9.0);
    double* monoIn[] = {a.data()};
    monoToStereo.ProcessBlock(monoIn, out, 3);
    EXPECT_EQ(o1, a);
    EXPECT_EQ(o2, std::vector<double>(3, 0.0));
}

TEST(Pins, LimitToStereoKeepsTheFirstTwoInputs) {
    TestPlug plug;
    plug.SetInputConnections(0, 2, true);
    plug.LimitToStereo();
    EXPECT_TRUE(plug.GetInputPin(0).connected);
    EXPECT_TRUE(plug.GetInputPin(1).connected);

    TestPlug quad("4-4");
    quad.SetInputConnections(0, 4, true);
    quad.LimitToStereo();
    EXPECT_TRUE(quad.GetInputPin(1).connected);
    EXPECT_FALSE(quad.GetInputPin(2).connected);
    EXPECT_FALSE(quad.GetInputPin(3).connected);
}

TEST(Version, DecimalFormOfPackedVersion) {
    TestPlug plug;  // 1.2.3
    EXPECT_EQ(plug.GetVersionDecimal(), 10203);
    EXPECT_EQ(PackHostVersion(2400), 0x001800);
    EXPECT_EQ(PackHostVersion(50102), (5 << 16) | (1 << 8) | 2);
}

TEST(SavedState, ChunkIsHeaderThenLittleEndianDoubles) {
    TestPlug plug;
    StateChunk chunk;
    IPlugBase::WriteChunkHeader(chunk);
    ASSERT_TRUE(plug.SerializeParams(chunk));
    const unsigned char expected[24] = {0x74, 0x66, 0x66, 0x70, 0, 0, 1, 0, 0, 0, 0,    0,
                                        0,    0,    0x49, 0x40, 0, 0, 0, 0, 0, 0, 0x49, 0x40};
    ASSERT_EQ(chunk.Size(), 24);
    EXPECT_EQ(std::memcmp(chunk.Data(), expected, 24), 0);

    int pos = 0;
    EXPECT_EQ(IPlugBase::ReadChunkHeader(chunk, &pos), 0x00010000);
    EXPECT_EQ(pos, 8);
}

TEST(SavedState, ShortHeaderlessAndOutOfRangeChunks) {
    TestPlug plug;
    StateChunk chunk;
    // Header only: the first value is missing and reads as 0, the rest stay.
    IPlugBase::WriteChunkHeader(chunk);
    plug.GetParam(1)->SetClamped(42.0);
    int pos = 0;
    IPlugBase::ReadChunkHeader(chunk, &pos);
    EXPECT_EQ(plug.UnserializeParams(chunk, pos), -1);
    EXPECT_EQ(plug.GetParam(0)->Value(), 0.0);
    EXPECT_EQ(plug.GetParam(1)->Value(), 42.0);
    EXPECT_EQ(plug.changed, (std::vector<int>{0, 1}));

    // No header: values are read from the first byte.
    chunk.Clear();
    const double values[] = {25.0, 150.0};
    chunk.Append(values, sizeof(values));
    pos = 0;
    EXPECT_EQ(IPlugBase::ReadChunkHeader(chunk, &pos), 0);
    EXPECT_EQ(pos, 0);
    EXPECT_EQ(plug.UnserializeParams(chunk, pos), 16);
    EXPECT_EQ(plug.GetParam(0)->Value(), 25.0);
    EXPECT_EQ(plug.GetParam(1)->Value(), 100.0);  // clamped, not rejected

    // A magic without its version is a chunk that ran out.
    chunk.Clear();
    const std::int32_t magic = IPlugBase::kChunkMagic;
    chunk.Append(&magic, 4);
    pos = 0;
    EXPECT_EQ(IPlugBase::ReadChunkHeader(chunk, &pos), 0);
    EXPECT_EQ(pos, -1);
}

TEST(SavedState, StoredInfinityClampsAndStoredNaNKeepsThePreviousValue) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    TestPlug plug;
    plug.GetParam(0)->SetClamped(33.0);
    StateChunk chunk;
    const double values[] = {nan, -inf};
    chunk.Append(values, sizeof(values));
    EXPECT_EQ(plug.UnserializeParams(chunk, 0), 16);
    EXPECT_EQ(plug.GetParam(0)->Value(), 33.0);
    EXPECT_EQ(plug.GetParam(1)->Value(), 0.0);

    chunk.Clear();
    const double high[] = {inf, nan};
    chunk.Append(high, sizeof(high));
    EXPECT_EQ(plug.UnserializeParams(chunk, 0), 16);
    EXPECT_EQ(plug.GetParam(0)->Value(), 100.0);
    EXPECT_EQ(plug.GetParam(1)->Value(), 0.0);
}

TEST(SavedState, PresetOperationsWithNoSlots) {
    TestPlug plug;
    EXPECT_STREQ(plug.GetPresetName(0), "");
    EXPECT_FALSE(plug.RestorePresetSlot(0));
    EXPECT_EQ(plug.GetCurrentPresetIndex(), 0);
}

TEST(StateChunkBytes, ReadsOnlyWhatIsThere) {
    StateChunk chunk;
    EXPECT_EQ(chunk.Data(), nullptr);
    const char bytes[] = "abcdef";
    ASSERT_TRUE(chunk.Append(bytes, 6));
    char out[6];
    EXPECT_EQ(chunk.Read(out, 4, 2), 6);
    EXPECT_EQ(chunk.Read(out, 4, 3), -1);
    EXPECT_EQ(chunk.Read(out, 1, -1), -1);
    ASSERT_TRUE(chunk.Resize(10));
    EXPECT_EQ(chunk.Data()[9], 0);
}

TEST(GrowableBufferCapacity, SmallAndPageSteps) {
    // Below a 4096 step: n + max(n/2, step).
    EXPECT_EQ(GrowableBuffer::CapacityFor(10, 128), 138);
    EXPECT_EQ(GrowableBuffer::CapacityFor(1000, 128), 1500);
    // Page step: whole pages less the allocator's header.
    EXPECT_EQ(GrowableBuffer::CapacityFor(24, 4096), 4096 - 96);
    EXPECT_EQ(GrowableBuffer::CapacityFor(8192, 4096), 12288 - 96);
    EXPECT_EQ(GrowableBuffer::CapacityFor(0, 4096), 0);
    // Growth is capped at 4 MiB beyond the request.
    EXPECT_EQ(GrowableBuffer::CapacityFor(64 << 20, 4096), (68 << 20) - 96);
}

TEST(GrowableBufferCapacity, ShrinksOnlyWhenMuchTooLarge) {
    GrowableBuffer buf(GrowableBuffer::kTextStep);
    ASSERT_TRUE(buf.Resize(1000));
    EXPECT_EQ(buf.GetCapacity(), 1500);
    ASSERT_TRUE(buf.Resize(800));  // above min(750, 1500 - 512): no realloc
    EXPECT_EQ(buf.GetCapacity(), 1500);
    ASSERT_TRUE(buf.Resize(700));  // below 750: realloc to 700 + 350
    EXPECT_EQ(buf.GetCapacity(), 1050);
    ASSERT_TRUE(buf.Resize(10, false));  // shrinking not allowed
    EXPECT_EQ(buf.GetCapacity(), 1050);
    ASSERT_TRUE(buf.Resize(-5));
    EXPECT_EQ(buf.GetCapacity(), 0);
    EXPECT_EQ(buf.Get(), nullptr);
}

TEST(HostIdentification, FirstFragmentInTableOrderDecides) {
    EXPECT_EQ(LookUpHostKind("REAPER"), kHostReaper);
    EXPECT_EQ(LookUpHostKind("Cubase VST"), kHostCubase);
    EXPECT_EQ(LookUpHostKind("Nuendo (Cubase engine)"), kHostCubase);
    EXPECT_EQ(LookUpHostKind("An olive tree"), kHostAbletonLive);
    EXPECT_EQ(LookUpHostKind("SAWStudio"), kHostSAWStudio);
    EXPECT_EQ(LookUpHostKind("Ardour"), kHostArdour);
    EXPECT_EQ(LookUpHostKind(""), kHostUnknown);
    EXPECT_EQ(LookUpHostKind(nullptr), kHostUnknown);
    // Only the first 255 characters are looked at.
    std::string longText(300, 'x');
    longText.replace(260, 6, "reaper");
    EXPECT_EQ(LookUpHostKind(longText.c_str()), kHostUnknown);
}

namespace {

// A plug-in whose parameter 1 is costly: it records where and how each
// change of it was prepared, and puts its value "in place" on commit.
class CostlyPlug : public IPlugAudio {
  public:
    CostlyPlug() : IPlugAudio(TestPlug::MakeConfig("2-2", 2)) {
        for (int i = 0; i < 2; ++i)
            GetParam(i)->InitContinuous("P", "", 0.0, 0.0, 100.0, 1.0, 1.0);
        SetMaxBlockSize(64);
    }

    // An entry point of a host thread: the value set under the mutex, the
    // costly part made once the mutex is free.
    void Set(double value) {
        {
            Lock lock(GetMutex());
            GetParam(1)->SetClamped(value);
            OnParameterChanged(1);
        }
        RunPendingChanges();
    }
    // The same on the audio thread, inside a process call, then the call.
    void SetInsideProcess(double value) {
        GuardedAudioCall(this, [&](CostlyPlug& plug) {
            plug.GetParam(1)->SetClamped(value);
            plug.OnParameterChanged(1);
        });
    }
    void Process() {
        GuardedAudioCall(this, [](CostlyPlug& plug) {
            double in[2][64] = {}, out[2][64];
            double* ins[2] = {in[0], in[1]};
            double* outs[2] = {out[0], out[1]};
            plug.ProcessDouble(ins, outs, 64);
        });
    }

    void OnParameterChanged(int index) override {
        if (index == 1 && !DeferCostlyChange(1))
            inPlace = GetParam(1)->Value();
    }
    bool EnableDeferredChanges() override { return true; }
    bool DeferParameterChange(DeferredChange&) override { return true; }
    bool PrepareDeferredChange(const DeferredChange& change) override {
        preparedOn.push_back(std::this_thread::get_id());
        mutexFreeWhilePreparing = mutexFreeWhilePreparing && !GetMutex().HeldByCaller();
        prepared.push_back(change.value);
        return true;
    }
    bool BeginSlicedChange(const DeferredChange& change) override {
        sliced.push_back(change.value);
        slicesLeft = 3;
        return true;
    }
    bool ContinueSlicedChange(int) override { return --slicesLeft == 0; }
    void CommitDeferredChange(const DeferredChange& change) override {
        inPlace = change.value;
        committed.push_back(change.value);
    }
    void SupersedeDeferredChange(int, double value) override { superseded.push_back(value); }

    void BeginParameterGesture(int) override {}
    void ReportParameterToHost(int, double) override {}
    void EndParameterGesture(int) override {}
    void GetTimeSignature(int*, int*) override {}
    void GetTransportInfo(ITimeInfo*) override {}
    void EditorResized(int, int) override {}
    bool SendMidiMessage(const MidiMessage&) override { return false; }

    double inPlace = 0.0;
    bool mutexFreeWhilePreparing = true;
    int slicesLeft = 0;
    std::vector<std::thread::id> preparedOn;
    std::vector<double> prepared, sliced, committed, superseded;
};

}  // namespace

TEST(CostlyChanges, OffTheAudioThreadPreparedByTheCallerWithTheMutexFreeBeforeItReturns) {
    CostlyPlug plug;
    plug.Set(10.0);
    EXPECT_EQ(plug.inPlace, 10.0);  // made in place: nothing set up yet
    plug.StartDeferringChanges();
    plug.Set(20.0);
    EXPECT_EQ(plug.inPlace, 20.0);
    ASSERT_EQ(plug.preparedOn.size(), 1u);
    EXPECT_EQ(plug.preparedOn[0], std::this_thread::get_id());
    EXPECT_TRUE(plug.mutexFreeWhilePreparing);

    // Two changes inside one outer call: one preparation, of the last; the
    // first is accounted for by the plug-in.
    {
        IPlugBase::Lock lock(plug.GetMutex());
        plug.Set(30.0);  // nested: the outer call makes it
        EXPECT_EQ(plug.inPlace, 20.0);
        plug.Set(40.0);
    }
    plug.RunPendingChanges();
    EXPECT_EQ(plug.prepared, (std::vector<double>{20.0, 40.0}));
    EXPECT_EQ(plug.superseded, (std::vector<double>{30.0}));
    EXPECT_EQ(plug.inPlace, 40.0);
}

TEST(CostlyChanges, OnTheAudioThreadSlicedTheLatestWaitingAndANewerOneElsewhereWins) {
    CostlyPlug plug;
    plug.StartDeferringChanges();
    plug.SetInsideProcess(1.0);
    plug.SetInsideProcess(2.0);  // waits for the first
    plug.SetInsideProcess(3.0);  // replaces it
    EXPECT_EQ(plug.sliced, (std::vector<double>{1.0}));
    for (int i = 0; i < 3; ++i)
        plug.Process();
    EXPECT_EQ(plug.committed, (std::vector<double>{1.0}));
    for (int i = 0; i < 3; ++i)
        plug.Process();
    EXPECT_EQ(plug.sliced, (std::vector<double>{1.0, 3.0}));
    EXPECT_EQ(plug.committed, (std::vector<double>{1.0, 3.0}));
    EXPECT_TRUE(plug.prepared.empty());

    // A host thread's change while one is in slices: made at once, and the
    // older one, and any waiting behind it, never put in place after it.
    plug.SetInsideProcess(4.0);
    plug.Process();
    plug.SetInsideProcess(5.0);
    plug.Set(6.0);
    for (int i = 0; i < 10; ++i)
        plug.Process();
    EXPECT_EQ(plug.committed, (std::vector<double>{1.0, 3.0, 6.0}));
    EXPECT_EQ(plug.inPlace, 6.0);
}

TEST(CostlyChanges, OnTheAudioThreadAThreadOfItsOwnPreparesThemAndAnotherThreadsChangeWaitsForIt) {
    CostlyPlug plug;
    plug.StartDeferringChanges(true);
    plug.SetInsideProcess(1.0);  // handed to the plug-in's thread
    plug.SetInsideProcess(2.0);  // waits for it
    plug.SetInsideProcess(3.0);  // replaces the waiting one
    // Bounded by time, not by a count of calls: Windows sleeps a whole
    // millisecond or none, and a loaded machine may keep the plug-in's
    // thread waiting far longer than a count of short sleeps allows.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (plug.committed.size() < 2 && std::chrono::steady_clock::now() < deadline) {
        plug.Process();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    EXPECT_EQ(plug.committed, (std::vector<double>{1.0, 3.0}));
    EXPECT_TRUE(plug.sliced.empty());
    ASSERT_EQ(plug.preparedOn.size(), 2u);
    for (const std::thread::id& id : plug.preparedOn)
        EXPECT_NE(id, std::this_thread::get_id());

    // A host thread's change while the plug-in's thread holds the spare
    // waits for it with the mutex free, then is made after it.
    plug.SetInsideProcess(4.0);
    plug.Set(5.0);
    EXPECT_EQ(plug.committed, (std::vector<double>{1.0, 3.0, 4.0, 5.0}));
    EXPECT_EQ(plug.inPlace, 5.0);
    EXPECT_TRUE(plug.mutexFreeWhilePreparing);
    plug.WaitForPreparedChanges();
}

TEST(SavedState, OneCodecKeepsWhatEachFormatAccepts) {
    const double bare[] = {25.0, 75.0};
    StateChunk whole;
    {
        TestPlug source;
        source.GetParam(0)->SetClamped(10.0);
        source.GetParam(1)->SetClamped(90.0);
        ASSERT_TRUE(ChunkCodec::Save(source, whole));
        ASSERT_EQ(whole.Size(), 24);
    }
    struct Case {
        ChunkCodec::Acceptance accept;
        ChunkCodec::Result bareResult, shortResult;
    };
    const Case cases[] = {
        {ChunkCodec::kVst2, ChunkCodec::Result::kLoaded, ChunkCodec::Result::kFailed},
        {ChunkCodec::kVst3, ChunkCodec::Result::kLoaded, ChunkCodec::Result::kRefused},
        {ChunkCodec::kLv2, ChunkCodec::Result::kRefused, ChunkCodec::Result::kRefused},
    };
    for (const Case& c : cases) {
        TestPlug plug;
        StateChunk chunk;
        EXPECT_EQ(ChunkCodec::Load(plug, chunk, whole.Data(), 24, c.accept),
                  ChunkCodec::Result::kLoaded);
        EXPECT_EQ(plug.GetParam(1)->Value(), 90.0);
        // A chunk without our header: bare values, or refused untouched.
        EXPECT_EQ(ChunkCodec::Load(plug, chunk, bare, sizeof(bare), c.accept), c.bareResult);
        const bool bareRead = c.bareResult == ChunkCodec::Result::kLoaded;
        EXPECT_EQ(plug.GetParam(1)->Value(), bareRead ? 75.0 : 90.0);
        // Our header and one value of two.
        EXPECT_EQ(ChunkCodec::Load(plug, chunk, whole.Data(), 16, c.accept), c.shortResult);
        const bool shortRead = c.shortResult == ChunkCodec::Result::kFailed;
        EXPECT_EQ(plug.GetParam(0)->Value(), shortRead ? 10.0 : (bareRead ? 25.0 : 10.0));
        EXPECT_EQ(plug.GetParam(1)->Value(), shortRead ? 0.0 : (bareRead ? 75.0 : 90.0));
    }
}
