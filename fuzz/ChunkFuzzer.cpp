// Arbitrary bytes as a saved state: effSetChunk, then a block through both
// precisions (every sample finite), then effGetChunk. What is saved then
// must be a well-formed chunk that restores and saves again byte for byte.
// One instance serves every input, as one serves a session's many loads.
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzHost.h"
#include "framework/IPlugBase.h"
#include "tools/host/VstHost.h"
#include "vst2/IPlugVST.h"
#include "vst2/PluginFactory.h"

namespace {

constexpr int kFrames = 300;

AEffect* Instance() {
    static AEffect* effect = [] {
        IPlugVST* plug = CreatePluginInstance(&VstHost::PlainCallback);
        if (!plug)
            std::abort();
        plug->StartDeferringChanges();  // as the module's entry point does
        AEffect* e = plug->GetAEffect();
        e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
        e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 44100.0f);
        e->dispatcher(e, effSetBlockSize, 0, 256, nullptr, 0.0f);
        e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
        return e;
    }();
    return effect;
}

std::vector<unsigned char> Save(AEffect* e) {
    void* data = nullptr;
    const VstIntPtr n = e->dispatcher(e, effGetChunk, 0, 0, &data, 0.0f);
    ++fuzzhost::CallsIntoPlugin();
    if (n <= 0 || !data)
        return {};
    const auto* bytes = static_cast<const unsigned char*>(data);
    return std::vector<unsigned char>(bytes, bytes + n);
}

VstIntPtr Restore(AEffect* e, std::vector<unsigned char> bytes) {
    ++fuzzhost::CallsIntoPlugin();
    return e->dispatcher(e, effSetChunk, 0, static_cast<VstIntPtr>(bytes.size()),
                         bytes.empty() ? nullptr : bytes.data(), 0.0f);
}

void Fail(const char* what) {
    std::fprintf(stderr, "chunk_fuzzer: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzhost::ReportAtExit("chunk_fuzzer");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    AEffect* e = Instance();
    ++fuzzhost::Inputs();
    // The host's copy of the chunk, exactly as long as the input.
    Restore(e, std::vector<unsigned char>(data, data + size));

    static std::vector<double> in[2] = {std::vector<double>(kFrames, 0.25),
                                        std::vector<double>(kFrames, -0.5)};
    static std::vector<double> out[2] = {std::vector<double>(kFrames),
                                         std::vector<double>(kFrames)};
    static std::vector<float> inF[2] = {std::vector<float>(kFrames, 0.25f),
                                        std::vector<float>(kFrames, -0.5f)};
    static std::vector<float> outF[2] = {std::vector<float>(kFrames), std::vector<float>(kFrames)};
    double* ins[2] = {in[0].data(), in[1].data()};
    double* outs[2] = {out[0].data(), out[1].data()};
    float* insF[2] = {inF[0].data(), inF[1].data()};
    float* outsF[2] = {outF[0].data(), outF[1].data()};
    e->processDoubleReplacing(e, ins, outs, kFrames);
    e->processReplacing(e, insF, outsF, kFrames);
    fuzzhost::CallsIntoPlugin() += 2;
    for (int c = 0; c < 2; ++c) {
        fuzzhost::RequireFinite(out[c].data(), kFrames, "processDoubleReplacing");
        fuzzhost::RequireFinite(outF[c].data(), kFrames, "processReplacing");
    }

    const std::vector<unsigned char> saved = Save(e);
    if (saved.size() != 24)
        Fail("a save is not 24 bytes");
    std::int32_t magic = 0;
    std::memcpy(&magic, saved.data(), sizeof magic);
    if (magic != IPlugBase::kChunkMagic)
        Fail("a save does not start with the chunk magic");
    for (int i = 0; i < 2; ++i) {
        double v = 0.0;
        std::memcpy(&v, saved.data() + 8 + 8 * i, sizeof v);
        if (!std::isfinite(v))
            Fail("a saved parameter is not finite");
    }
    if (Restore(e, saved) != 1)
        Fail("a saved chunk is refused");
    if (Save(e) != saved)
        Fail("a saved chunk does not survive restoring and saving again");
    return 0;
}
