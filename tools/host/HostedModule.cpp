#include "tools/host/HostedModule.h"

#include "tools/audiofile/FileSystem.h"
#include "tools/host/HostedVst2.h"
#include "tools/host/HostedVst3.h"
#include "tools/host/Vst3Host.h"

namespace {

bool EndsWithVst3(const std::string& path) {
    static const std::string suffix = ".vst3";
    if (path.size() < suffix.size())
        return false;
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        const char c = path[path.size() - suffix.size() + i];
        if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != suffix[i])
            return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<HostedModule> HostedModule::Load(const std::string& path, std::string* error) {
    auto fail = [error](const std::string& why) {
        if (error)
            *error = why;
        return nullptr;
    };
    std::unique_ptr<HostedModule> module(new HostedModule());
    module->mPath = path;
    std::string why;
    bool isFolder = false;
    if (FileSystem::Find(path, &isFolder) && isFolder) {
        // Only a VST 3 bundle is a folder: its library for this platform
        // lies inside.
        module->mVst3 = Vst3Module::Load(path, &why);
        if (!module->mVst3)
            return fail(path +
                        " is a folder but not a VST 3 bundle that can be loaded here: " + why);
        return module;
    }

    // A library: which entry points it exports says which format it is.
    void* probe = PluginModule::OpenLibrary(path, &why);
    if (!probe)
        return fail("cannot load " + path + ": " + why);
    const bool vst2 =
        PluginModule::FindSymbol(probe, "VSTPluginMain") || PluginModule::FindSymbol(probe, "main");
    const bool vst3 = PluginModule::FindSymbol(probe, "GetPluginFactory") != nullptr;
    // Loaded again by the format's own class before the probe lets go, so
    // the library stays in memory and is set up once.
    if (vst3 && (!vst2 || EndsWithVst3(path)))
        module->mVst3 = Vst3Module::FromLibrary(path, &why);
    else if (vst2)
        module->mVst2 = PluginModule::Load(path, &why);
    PluginModule::CloseLibrary(probe);
    if (!vst2 && !vst3)
        return fail(path +
                    " is not a plug-in: it exports neither VSTPluginMain nor main (VST 2) nor "
                    "GetPluginFactory (VST 3)");
    if (!module->mVst2 && !module->mVst3)
        return fail(why);
    return module;
}

HostedModule::~HostedModule() = default;

std::unique_ptr<HostedPlugin> HostedModule::Instantiate(const HostIdentity& identity,
                                                        std::string* error) const {
    if (mVst2)
        return HostedVst2::Open(*mVst2, identity, error);
    return HostedVst3::Open(*mVst3, mPath, error);
}
