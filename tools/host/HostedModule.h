// A plug-in module loaded by path, of either format, and the instances it
// makes: a VST 2 library (PluginModule), or a VST 3 bundle or the library
// inside one (Vst3Module). A folder is taken for a VST 3 bundle; a library
// is told by what it exports. Owns the loaded module, which outlives the
// instances it made. Made on the main thread; Instantiate on any one thread
// at a time.
#pragma once

#include <memory>
#include <string>

#include "tools/host/HostedPlugin.h"
#include "tools/host/PluginModule.h"
#include "tools/host/VstHost.h"

class Vst3Module;

class HostedModule {
  public:
    // Null on failure, with a reason a person can act on in *error.
    static std::unique_ptr<HostedModule> Load(const std::string& path, std::string* error);
    ~HostedModule();
    HostedModule(const HostedModule&) = delete;
    HostedModule& operator=(const HostedModule&) = delete;

    const std::string& Path() const { return mPath; }
    PluginFormat Format() const { return mVst2 ? PluginFormat::kVst2 : PluginFormat::kVst3; }

    // A new instance, opened; null with the reason in *error. `identity` is
    // what a VST 2 host says of itself when asked.
    std::unique_ptr<HostedPlugin> Instantiate(const HostIdentity& identity,
                                              std::string* error) const;

  private:
    HostedModule() = default;

    std::string mPath;
    std::unique_ptr<PluginModule> mVst2;
    std::unique_ptr<Vst3Module> mVst3;
};
