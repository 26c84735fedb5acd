// The module's factory: one process-wide object, never destroyed, that
// describes the plug-in's one class and makes instances of it. Handed out
// by GetPluginFactory; hosts call it on any thread, several at once.
#pragma once

#include "vst3/Vst3Abi.h"

class Vst3Factory : public vst3::IPluginFactory3 {
  public:
    // The version of the interfaces our declarations follow, as hosts read it.
    static constexpr const char* kSdkVersion = "VST 3.7.0";

    static Vst3Factory& Instance();

    // The one instance lives as long as the module: counting changes nothing.
    vst3::tresult PLUGIN_API queryInterface(const vst3::TUID id, void** obj) override;
    vst3::uint32 PLUGIN_API addRef() override { return 1; }
    vst3::uint32 PLUGIN_API release() override { return 1; }

    vst3::tresult PLUGIN_API getFactoryInfo(vst3::PFactoryInfo* info) override;
    vst3::int32 PLUGIN_API countClasses() override { return 1; }
    vst3::tresult PLUGIN_API getClassInfo(vst3::int32 index, vst3::PClassInfo* info) override;
    // A new instance of the class `cid` with the interface `interfaceId`.
    vst3::tresult PLUGIN_API createInstance(vst3::FIDString cid, vst3::FIDString interfaceId,
                                            void** obj) override;
    vst3::tresult PLUGIN_API getClassInfo2(vst3::int32 index, vst3::PClassInfo2* info) override;
    vst3::tresult PLUGIN_API getClassInfoUnicode(vst3::int32 index,
                                                 vst3::PClassInfoW* info) override;
    // The host's context is not needed: nothing is asked of the host here.
    vst3::tresult PLUGIN_API setHostContext(vst3::FUnknown*) override { return vst3::kResultOk; }

    // The class id's 16 bytes; false when the plug-in's hex text is not one.
    static bool ClassId(char out[16]);

  private:
    Vst3Factory() = default;
    ~Vst3Factory() = default;
};
