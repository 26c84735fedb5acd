// The VST 3 bundle as a host meets it before any audio: the factory and its
// class, the single-component effect's interfaces and buses, the parameters
// beside the VST 2 module's, and the state chunk both modules share.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <set>

#include "Vst3Fixture.h"
#include "plugin/BrightfallFacts.h"
#include "plugin/BrightfallVersion.h"
#include "tools/host/VstHost.h"
#include "vst3/Vst3Text.h"
#include "vst3/Vst3ViewAbi.h"

using namespace vst3;

namespace {

std::string Hex(const char* bytes) {
    std::string hex;
    char two[3];
    for (int i = 0; i < 16; ++i) {
        std::snprintf(two, sizeof(two), "%02X", static_cast<unsigned char>(bytes[i]));
        hex += two;
    }
    return hex;
}

std::string Narrow(const char16* text) {
    char out[256];
    Utf16ToUtf8(out, sizeof(out), text, 128);
    return out;
}

#if !defined(_WIN32)
// The functions and data the library exports, as the dynamic linker sees
// them, leaving out the markers the linker itself defines. (A Windows
// module's export table is read by vst3_module_imports_exports.)
std::set<std::string> Exports(const std::string& library) {
    std::set<std::string> names;
    FILE* pipe = popen(("nm -D --defined-only '" + library + "'").c_str(), "r");
    if (!pipe)
        return names;
    char line[512];
    while (std::fgets(line, sizeof(line), pipe)) {
        char type = 0;
        char name[400] = {};
        if (std::sscanf(line, "%*s %c %399s", &type, name) == 2 && name[0] != '_')
            names.insert(name);
    }
    pclose(pipe);
    return names;
}
#endif

std::vector<unsigned char> Vst2Chunk(VstHost& host) {
    void* data = nullptr;
    const VstIntPtr size = host.Dispatch(effGetChunk, 0, 0, &data);
    const auto* bytes = static_cast<const unsigned char*>(data);
    return size > 0 && bytes ? std::vector<unsigned char>(bytes, bytes + size)
                             : std::vector<unsigned char>();
}

}  // namespace

TEST(Vst3Module, FactoryDescribesOneReverbClassAsModuleInfoDoes) {
    IPluginFactory* factory = Bundle().Factory();
    ASSERT_NE(factory, nullptr);
    // The entry points alone: nothing of ours or of the libraries linked in
    // may meet another plug-in's symbols in a host.
#if !defined(_WIN32)
    EXPECT_EQ(Exports(Vst3Module::LibraryInBundle(BundlePath())),
              (std::set<std::string>{"GetPluginFactory", "ModuleEntry", "ModuleExit"}));
#endif

    PFactoryInfo info{};
    ASSERT_EQ(factory->getFactoryInfo(&info), kResultOk);
    EXPECT_STREQ(info.vendor, brightfall::kVendor);
    EXPECT_EQ(info.flags & PFactoryInfo::kUnicode, PFactoryInfo::kUnicode);
    ASSERT_EQ(factory->countClasses(), 1);

    void* f3 = nullptr;
    ASSERT_EQ(factory->queryInterface(IPluginFactory3::iid.bytes, &f3), kResultOk);
    auto* factory3 = static_cast<IPluginFactory3*>(f3);
    PClassInfo2 c2{};
    ASSERT_EQ(factory3->getClassInfo2(0, &c2), kResultOk);
    EXPECT_EQ(Hex(c2.cid), brightfall::kVst3ClassId);
    EXPECT_STREQ(c2.category, "Audio Module Class");
    EXPECT_STREQ(c2.name, "Brightfall");
    EXPECT_STREQ(c2.subCategories, "Fx|Reverb");
    EXPECT_STREQ(c2.vendor, brightfall::kVendor);
    EXPECT_STREQ(c2.version, brightfall::kVersionText);
    EXPECT_EQ(c2.cardinality, PClassInfo::kManyInstances);
    PClassInfoW cw{};
    ASSERT_EQ(factory3->getClassInfoUnicode(0, &cw), kResultOk);
    EXPECT_EQ(Narrow(cw.name), "Brightfall");
    EXPECT_EQ(std::memcmp(cw.cid, c2.cid, 16), 0);
    EXPECT_NE(factory3->getClassInfo2(1, &c2), kResultOk);
    factory3->release();

    // A host may list the class from moduleinfo.json without loading the
    // module: the file must say what the factory says.
    std::ifstream file(BundlePath() + "/Contents/Resources/moduleinfo.json");
    const std::string json((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    EXPECT_NE(json.find("\"CID\": \"" + Hex(c2.cid) + "\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"Version\": \"" + std::string(brightfall::kVersionText) + "\""),
              std::string::npos);
    EXPECT_NE(json.find("\"Reverb\""), std::string::npos);

    // Another class id, or no out pointer, makes nothing.
    char other[16] = {};
    void* obj = &info;
    EXPECT_EQ(factory->createInstance(other, IComponent::iid.bytes, &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);
    EXPECT_NE(factory->createInstance(c2.cid, IComponent::iid.bytes, nullptr), kResultOk);
}

TEST(Vst3Module, OneObjectIsComponentProcessorAndController) {
    Vst3Instance plug(Bundle());
    ASSERT_NE(plug.Component(), nullptr);
    ASSERT_NE(plug.Processor(), nullptr);
    ASSERT_NE(plug.Controller(), nullptr);
    // No separate controller class: hosts query the component for it.
    TUID cid{};
    EXPECT_NE(plug.Component()->getControllerClassId(cid), kResultOk);
    void* back = nullptr;
    ASSERT_EQ(plug.Controller()->queryInterface(IComponent::iid.bytes, &back), kResultOk);
    EXPECT_EQ(back, plug.Component());
    static_cast<IComponent*>(back)->release();
    void* none = &cid;
    EXPECT_EQ(plug.Component()->queryInterface(IPlugFrame::iid.bytes, &none), kNoInterface);
    EXPECT_EQ(none, nullptr);
    // Initialised twice, as component and as controller, it stays one plug-in.
    EXPECT_EQ(plug.Controller()->initialize(nullptr), kResultOk);
    EXPECT_EQ(plug.Processor()->getLatencySamples(), 0u);
}

TEST(Vst3Module, BusesAreMonoOrStereoTheSameEachWay) {
    Vst3Instance plug(Bundle());
    IComponent* c = plug.Component();
    IAudioProcessor* p = plug.Processor();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(c->getBusCount(kAudio, kInput), 1);
    EXPECT_EQ(c->getBusCount(kAudio, kOutput), 1);
    EXPECT_EQ(c->getBusCount(kEvent, kInput), 0);
    BusInfo bus{};
    ASSERT_EQ(c->getBusInfo(kAudio, kOutput, 0, bus), kResultOk);
    EXPECT_EQ(bus.channelCount, 2);
    EXPECT_EQ(bus.busType, kMain);
    EXPECT_NE(c->getBusInfo(kAudio, kOutput, 1, bus), kResultOk);

    auto set = [&](SpeakerArrangement in, SpeakerArrangement out) {
        return p->setBusArrangements(&in, 1, &out, 1);
    };
    SpeakerArrangement arr = 0;
    EXPECT_EQ(set(kArrMono, kArrMono), kResultTrue);
    ASSERT_EQ(p->getBusArrangement(kOutput, 0, arr), kResultOk);
    EXPECT_EQ(arr, kArrMono);
    ASSERT_EQ(c->getBusInfo(kAudio, kInput, 0, bus), kResultOk);
    EXPECT_EQ(bus.channelCount, 1);
    EXPECT_EQ(set(kArrStereo, kArrStereo), kResultTrue);
    // Two in and one out, three channels, or one and two: refused, and the
    // arrangement stays.
    const SpeakerArrangement threeChannels = kArrStereo | (1u << 2);
    EXPECT_EQ(set(kArrStereo, kArrMono), kResultFalse);
    EXPECT_EQ(set(threeChannels, threeChannels), kResultFalse);
    EXPECT_EQ(set(kArrMono, kArrStereo), kResultFalse);
    ASSERT_EQ(p->getBusArrangement(kInput, 0, arr), kResultOk);
    EXPECT_EQ(arr, kArrStereo);

    EXPECT_EQ(p->canProcessSampleSize(kSample32), kResultTrue);
    EXPECT_EQ(p->canProcessSampleSize(kSample64), kResultTrue);
    EXPECT_EQ(p->canProcessSampleSize(2), kResultFalse);
}

TEST(Vst3Module, ParametersReadAsTheVst2ModulesDo) {
    Vst3Instance plug(Bundle());
    IEditController* ec = plug.Controller();
    ASSERT_NE(ec, nullptr);
    VstHost vst2(Vst2Module());
    AEffect* e = vst2.Effect();
    vst2.Dispatch(effOpen);

    ASSERT_EQ(ec->getParameterCount(), 3);
    for (int i = 0; i < 2; ++i) {
        ParameterInfo info{};
        ASSERT_EQ(ec->getParameterInfo(i, info), kResultOk);
        char name[256] = {}, label[256] = {};
        vst2.Dispatch(effGetParamName, i, 0, name);
        vst2.Dispatch(effGetParamLabel, i, 0, label);
        EXPECT_EQ(info.id, static_cast<ParamID>(i));
        EXPECT_EQ(Narrow(info.title), name);
        EXPECT_EQ(Narrow(info.units), label);
        EXPECT_EQ(info.stepCount, 0);  // any value, as under VST 2
        EXPECT_EQ(info.defaultNormalizedValue, static_cast<double>(e->getParameter(e, i)));
        EXPECT_EQ(info.flags & ParameterInfo::kIsBypass, 0);

        for (float v : {0.0f, 0.303f, 0.5f, 0.999f, 1.0f}) {
            e->setParameter(e, i, v);
            char display[256] = {};
            vst2.Dispatch(effGetParamDisplay, i, 0, display);
            String128 text{};
            ASSERT_EQ(ec->getParamStringByValue(i, v, text), kResultOk);
            EXPECT_EQ(Narrow(text), display) << "parameter " << i << " at " << v;
            EXPECT_NEAR(ec->normalizedParamToPlain(i, v), 100.0 * v, 1e-9);
            EXPECT_NEAR(ec->plainParamToNormalized(i, 100.0 * v), v, 1e-9);
        }
        // Typed text as effString2Parameter reads it.
        char typed[] = "40";
        ASSERT_EQ(vst2.Dispatch(effString2Parameter, i, 0, typed), 1);
        String128 text{};
        Utf8ToUtf16(text, 128, typed);
        ParamValue fromText = -1.0;
        ASSERT_EQ(ec->getParamValueByString(i, text, fromText), kResultOk);
        EXPECT_NEAR(fromText, e->getParameter(e, i), 1e-7);
        EXPECT_EQ(ec->plainParamToNormalized(i, 250.0), 1.0);
    }
    ParameterInfo bypass{};
    ASSERT_EQ(ec->getParameterInfo(2, bypass), kResultOk);
    EXPECT_EQ(bypass.flags & ParameterInfo::kIsBypass, ParameterInfo::kIsBypass);
    EXPECT_EQ(bypass.stepCount, 1);
    EXPECT_EQ(bypass.defaultNormalizedValue, 0.0);
    EXPECT_NE(bypass.id, 0u);
    EXPECT_NE(bypass.id, 1u);
    EXPECT_NE(ec->getParameterInfo(3, bypass), kResultOk);

    // The controller's own setting and reading back; a NaN or an unknown id
    // changes nothing.
    ASSERT_EQ(ec->setParamNormalized(0, 0.25), kResultOk);
    EXPECT_EQ(ec->getParamNormalized(0), 0.25);
    EXPECT_NE(ec->setParamNormalized(0, std::numeric_limits<double>::quiet_NaN()), kResultOk);
    EXPECT_NE(ec->setParamNormalized(77, 0.5), kResultOk);
    EXPECT_EQ(ec->getParamNormalized(0), 0.25);
    String128 text{};
    EXPECT_NE(ec->getParamStringByValue(77, 0.5, text), kResultOk);
    Utf8ToUtf16(text, 128, "loud");
    ParamValue unchanged = 0.125;
    EXPECT_NE(ec->getParamValueByString(bypass.id, text, unchanged), kResultOk);
    EXPECT_EQ(unchanged, 0.125);
}

TEST(Vst3Module, StateIsTheVst2ModulesChunkBothWays) {
    Vst3Instance plug(Bundle());
    IEditController* ec = plug.Controller();
    ASSERT_NE(ec, nullptr);
    ec->setParamNormalized(0, 0.3);
    ec->setParamNormalized(1, 0.7);
    const std::vector<unsigned char> saved = plug.State();
    ASSERT_EQ(saved.size(), 24u);

    {
        VstHost vst2(Vst2Module());
        AEffect* e = vst2.Effect();
        vst2.Dispatch(effOpen);
        e->setParameter(e, 0, 0.3f);
        e->setParameter(e, 1, 0.7f);
        // Header, then the values: the same bytes for the same settings,
        // up to the float the VST 2 host's parameter passes through.
        const std::vector<unsigned char> vst2Saved = Vst2Chunk(vst2);
        ASSERT_EQ(vst2Saved.size(), 24u);
        EXPECT_TRUE(std::equal(saved.begin(), saved.begin() + 8, vst2Saved.begin()));

        // The VST 3 chunk into the VST 2 module, and back out the same.
        std::vector<unsigned char> copy = saved;
        ASSERT_EQ(vst2.Dispatch(effSetChunk, 0, static_cast<VstIntPtr>(copy.size()), copy.data()),
                  1);
        EXPECT_EQ(Vst2Chunk(vst2), saved);

        // The VST 2 module's chunk into a fresh VST 3 instance.
        e->setParameter(e, 1, 0.25f);
        const std::vector<unsigned char> other = Vst2Chunk(vst2);
        Vst3Instance fresh(Bundle());
        Vst3MemoryStream in(other);
        ASSERT_EQ(fresh.Component()->setState(&in), kResultOk);
        EXPECT_EQ(fresh.State(), other);
        EXPECT_NEAR(fresh.Controller()->getParamNormalized(1), 0.25, 1e-7);
        Vst3MemoryStream again(other);
        EXPECT_EQ(fresh.Controller()->setComponentState(&again), kResultOk);
        EXPECT_EQ(fresh.State(), other);
    }

    // No stream, an empty one or one cut short: refused, nothing changed.
    EXPECT_EQ(plug.Component()->setState(nullptr), kInvalidArgument);
    EXPECT_EQ(plug.Component()->getState(nullptr), kInvalidArgument);
    EXPECT_EQ(ec->setComponentState(nullptr), kInvalidArgument);
    Vst3MemoryStream empty;
    EXPECT_EQ(plug.Component()->setState(&empty), kResultFalse);
    Vst3MemoryStream cut(std::vector<unsigned char>(saved.begin(), saved.begin() + 12));
    EXPECT_EQ(plug.Component()->setState(&cut), kResultFalse);
    EXPECT_EQ(plug.State(), saved);
    // The controller keeps no state of its own, and the stream gets no references kept.
    Vst3MemoryStream controllerState;
    EXPECT_EQ(ec->getState(&controllerState), kResultOk);
    EXPECT_TRUE(controllerState.Bytes().empty());
    EXPECT_EQ(controllerState.ForeignRefs(), 0u);
}
