#include "vst3/Vst3Factory.h"

#include <cstring>

#include "framework/TextUtil.h"
#include "vst3/IPlugVST3.h"
#include "vst3/Vst3PluginFactory.h"
#include "vst3/Vst3Text.h"

using namespace vst3;

Vst3Factory& Vst3Factory::Instance() {
    static Vst3Factory factory;
    return factory;
}

bool Vst3Factory::ClassId(char out[16]) {
    const char* hex = Vst3PluginClass().classIdHex;
    if (!hex || std::strlen(hex) != 32)
        return false;
    auto nibble = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    for (int i = 0; i < 16; ++i) {
        const int high = nibble(hex[2 * i]), low = nibble(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        out[i] = static_cast<char>(high << 4 | low);
    }
    return true;
}

tresult PLUGIN_API Vst3Factory::queryInterface(const TUID id, void** obj) {
    if (!obj)
        return kInvalidArgument;
    if (FUnknown::iid.Matches(id) || IPluginFactory::iid.Matches(id) ||
        IPluginFactory2::iid.Matches(id) || IPluginFactory3::iid.Matches(id)) {
        *obj = static_cast<IPluginFactory3*>(this);
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}

tresult PLUGIN_API Vst3Factory::getFactoryInfo(PFactoryInfo* info) {
    if (!info)
        return kInvalidArgument;
    *info = PFactoryInfo{};
    CopyText(info->vendor, sizeof(info->vendor), Vst3PluginClass().vendor);
    info->flags = PFactoryInfo::kUnicode;
    return kResultOk;
}

tresult PLUGIN_API Vst3Factory::getClassInfo(int32 index, PClassInfo* info) {
    if (!info || index != 0)
        return kInvalidArgument;
    *info = PClassInfo{};
    if (!ClassId(info->cid))
        return kInternalError;
    info->cardinality = PClassInfo::kManyInstances;
    CopyText(info->category, sizeof(info->category), kVstAudioEffectClass);
    CopyText(info->name, sizeof(info->name), Vst3PluginClass().name);
    return kResultOk;
}

tresult PLUGIN_API Vst3Factory::getClassInfo2(int32 index, PClassInfo2* info) {
    if (!info || index != 0)
        return kInvalidArgument;
    *info = PClassInfo2{};
    if (!ClassId(info->cid))
        return kInternalError;
    const Vst3ClassFacts& facts = Vst3PluginClass();
    info->cardinality = PClassInfo::kManyInstances;
    CopyText(info->category, sizeof(info->category), kVstAudioEffectClass);
    CopyText(info->name, sizeof(info->name), facts.name);
    info->classFlags = 0;  // the processor and its controller are one object: never apart
    CopyText(info->subCategories, sizeof(info->subCategories), facts.subCategories);
    CopyText(info->vendor, sizeof(info->vendor), facts.vendor);
    CopyText(info->version, sizeof(info->version), facts.version);
    CopyText(info->sdkVersion, sizeof(info->sdkVersion), kSdkVersion);
    return kResultOk;
}

tresult PLUGIN_API Vst3Factory::getClassInfoUnicode(int32 index, PClassInfoW* info) {
    if (!info || index != 0)
        return kInvalidArgument;
    PClassInfo2 narrow{};
    const tresult result = getClassInfo2(index, &narrow);
    if (result != kResultOk)
        return result;
    *info = PClassInfoW{};
    std::memcpy(info->cid, narrow.cid, sizeof(info->cid));
    info->cardinality = narrow.cardinality;
    std::memcpy(info->category, narrow.category, sizeof(info->category));
    Utf8ToUtf16(info->name, 64, narrow.name);
    info->classFlags = narrow.classFlags;
    std::memcpy(info->subCategories, narrow.subCategories, sizeof(info->subCategories));
    Utf8ToUtf16(info->vendor, 64, narrow.vendor);
    Utf8ToUtf16(info->version, 64, narrow.version);
    Utf8ToUtf16(info->sdkVersion, 64, narrow.sdkVersion);
    return kResultOk;
}

tresult PLUGIN_API Vst3Factory::createInstance(FIDString cid, FIDString interfaceId, void** obj) {
    if (!obj)
        return kInvalidArgument;
    *obj = nullptr;
    char ours[16];
    if (!cid || !interfaceId || !ClassId(ours) || std::memcmp(cid, ours, sizeof(ours)) != 0)
        return kNoInterface;
    try {
        IPlugVST3* plug = CreateVST3PluginInstance();
        if (!plug)
            return kOutOfMemory;
        // The instance's first reference goes with the interface asked for,
        // or, when it has none such, with the instance itself.
        const tresult result = plug->queryInterface(interfaceId, obj);
        plug->release();
        return result;
    } catch (...) {
        return kInternalError;
    }
}
