#include "tests/x11/PluginUnderTest.h"

#include "graphics/IGraphics.h"
#include "plugin/Brightfall.h"
#include "vst2/PluginFactory.h"

#ifdef BRIGHTFALL_MODULE
#include "tools/host/PluginModule.h"
#endif

namespace {

// As the module's entry point builds an instance.
[[maybe_unused]] AEffect* LinkedEntry(audioMasterCallback host) {
    IPlugVST* plug = CreatePluginInstance(host);
    if (!plug)
        return nullptr;
    plug->StartDeferringChanges(true);
    return plug->GetAEffect();
}

}  // namespace

struct PluginUnderTest::Library {
#ifdef BRIGHTFALL_MODULE
    std::unique_ptr<PluginModule> module;
#endif
};

PluginUnderTest::PluginUnderTest() : mLibrary(std::make_unique<Library>()) {}

PluginUnderTest::~PluginUnderTest() = default;

bool PluginUnderTest::Load(std::string* error) {
#ifdef BRIGHTFALL_MODULE
    mLibrary->module = PluginModule::Load(BRIGHTFALL_MODULE, error);
    return mLibrary->module != nullptr;
#else
    (void)error;
    return true;
#endif
}

void PluginUnderTest::Unload() {
#ifdef BRIGHTFALL_MODULE
    mLibrary->module.reset();
#endif
}

PluginModule::EntryPoint PluginUnderTest::Entry() const {
#ifdef BRIGHTFALL_MODULE
    return mLibrary->module ? mLibrary->module->Entry() : nullptr;
#else
    return &LinkedEntry;
#endif
}

bool PluginUnderTest::FromModule() {
#ifdef BRIGHTFALL_MODULE
    return true;
#else
    return false;
#endif
}

std::string PluginUnderTest::ModuleFileName() {
    return "brightfall.so";
}

std::vector<std::uint32_t> ExpectedPicture(float wet, float sustain) {
    Brightfall plug(nullptr);
    AEffect* effect = plug.GetAEffect();
    effect->setParameter(effect, Brightfall::kWetDry, wet);
    effect->setParameter(effect, Brightfall::kSustain, sustain);
    auto* editor = static_cast<IGraphics*>(plug.GetEditor());
    editor->MarkAllControlsChanged();
    editor->RedrawRegion(IRect(0, 0, editor->Width(), editor->Height()));
    const LICE_SysBitmap& bitmap = *editor->Offscreen();
    std::vector<std::uint32_t> out;
    out.reserve(kEditorWidth * kEditorHeight);
    for (int y = 0; y < bitmap.Height(); ++y) {
        for (int x = 0; x < bitmap.Width(); ++x)
            out.push_back(bitmap.Bits()[y * bitmap.RowSpan() + x] & 0xffffff);
    }
    return out;
}
