// Stand-ins for modules a user might point brightfall-render at by mistake,
// built as shared libraries beside the tests. One source, one kind per build:
//   FAKE_NO_ENTRY   a library that exports no VST 2 entry point
//   FAKE_BAD_MAGIC  an entry point returning a record without the VST 2 magic
//   FAKE_NAN_OUTPUT a working pass-through effect that starts emitting NaN
//                   after its first thousand frames
#include <cmath>
#include <cstring>
#include <limits>

#include "vst2/VstAbi.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

#if defined(FAKE_NO_ENTRY)

FAKE_EXPORT int fake_effect_nothing_here() {
    return 0;
}

#elif defined(FAKE_BAD_MAGIC)

FAKE_EXPORT AEffect* VSTPluginMain(audioMasterCallback) {
    static AEffect record{};  // magic left zero
    return &record;
}

#elif defined(FAKE_NAN_OUTPUT)

namespace {

long gFrames = 0;

VstIntPtr VSTCALLBACK Dispatch(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
    if (opcode == effGetEffectName && ptr) {
        std::strcpy(static_cast<char*>(ptr), "Fake NaN");
        return 1;
    }
    if (opcode == effMainsChanged)
        gFrames = 0;
    return 0;
}

template <typename T>
void Process(T** in, T** out, VstInt32 n) {
    for (VstInt32 i = 0; i < n; ++i, ++gFrames)
        for (int c = 0; c < 2; ++c)
            out[c][i] = gFrames < 1000 ? in[c][i] : std::numeric_limits<T>::quiet_NaN();
}

void VSTCALLBACK ProcessFloat(AEffect*, float** in, float** out, VstInt32 n) {
    Process(in, out, n);
}
void VSTCALLBACK ProcessDouble(AEffect*, double** in, double** out, VstInt32 n) {
    Process(in, out, n);
}
void VSTCALLBACK SetParameter(AEffect*, VstInt32, float) {}
float VSTCALLBACK GetParameter(AEffect*, VstInt32) {
    return 0.0f;
}

}  // namespace

FAKE_EXPORT AEffect* VSTPluginMain(audioMasterCallback) {
    static AEffect record{};
    record.magic = kEffectMagic;
    record.dispatcher = Dispatch;
    record.setParameter = SetParameter;
    record.getParameter = GetParameter;
    record.numInputs = 2;
    record.numOutputs = 2;
    record.flags = effFlagsCanReplacing | effFlagsCanDoubleReplacing;
    record.processReplacing = ProcessFloat;
    record.processDoubleReplacing = ProcessDouble;
    return &record;
}

#endif
