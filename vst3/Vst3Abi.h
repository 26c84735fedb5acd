// The VST 3 binary interface at its base, declared from Steinberg's published
// interface definitions: result codes, interface identifiers, reference
// counting, byte streams and the module factory. Shared by the plug-in
// (vst3/) and the test host (tools/host/); nothing here runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Every interface method's calling convention: __stdcall on Windows (which
// only 32-bit code distinguishes), the compiler's default elsewhere.
#if defined(_WIN32)
#define PLUGIN_API __stdcall
#else
#define PLUGIN_API
#endif

// Structures of the interface are packed as the published headers pack them:
// to 16 bytes on 64-bit Windows and 8 on 32-bit Windows (neither changes a
// natural layout), and not at all on Linux. Used around every structure
// those headers pack.
#if defined(_WIN32) && defined(_WIN64)
#define VST3_PACK_PUSH _Pragma("pack(push, 16)")
#define VST3_PACK_POP _Pragma("pack(pop)")
#elif defined(_WIN32)
#define VST3_PACK_PUSH _Pragma("pack(push, 8)")
#define VST3_PACK_POP _Pragma("pack(pop)")
#else
#define VST3_PACK_PUSH
#define VST3_PACK_POP
#endif

namespace vst3 {

using int8 = char;
using uint8 = std::uint8_t;
using int16 = std::int16_t;
using uint16 = std::uint16_t;
using int32 = std::int32_t;
using uint32 = std::uint32_t;
using int64 = std::int64_t;
using uint64 = std::uint64_t;
using tresult = int32;
using TBool = uint8;
using char8 = char;
using char16 = char16_t;  // UTF-16 code unit; wchar_t on Windows has the same size
using FIDString = const char8*;
using TUID = char[16];

// Result codes. Windows hosts take them for COM HRESULTs; every other
// platform numbers them from -1 upward.
#if defined(_WIN32)
constexpr tresult kNoInterface = static_cast<tresult>(0x80004002u);
constexpr tresult kResultOk = 0;
constexpr tresult kResultTrue = kResultOk;
constexpr tresult kResultFalse = 1;
constexpr tresult kInvalidArgument = static_cast<tresult>(0x80070057u);
constexpr tresult kNotImplemented = static_cast<tresult>(0x80004001u);
constexpr tresult kInternalError = static_cast<tresult>(0x80004005u);
constexpr tresult kNotInitialized = static_cast<tresult>(0x8000FFFFu);
constexpr tresult kOutOfMemory = static_cast<tresult>(0x8007000Eu);
#else
constexpr tresult kNoInterface = -1;
constexpr tresult kResultOk = 0;
constexpr tresult kResultTrue = kResultOk;
constexpr tresult kResultFalse = 1;
constexpr tresult kInvalidArgument = 2;
constexpr tresult kNotImplemented = 3;
constexpr tresult kInternalError = 4;
constexpr tresult kNotInitialized = 5;
constexpr tresult kOutOfMemory = 6;
#endif

// A 16-byte identifier as the interface's four 32-bit words give it. Its
// bytes are the words' big-endian bytes, except on Windows, where the first
// eight follow COM's GUID layout (the first word little-endian, the second
// as two little-endian halves in swapped order).
struct Uid {
    char bytes[16];

    bool Matches(const void* other) const {
        return other && std::memcmp(bytes, other, sizeof(bytes)) == 0;
    }
};

constexpr char ByteOf(uint32 word, int shift) {
    return static_cast<char>(static_cast<uint8>((word >> shift) & 0xFFu));
}

constexpr Uid MakeUid(uint32 l1, uint32 l2, uint32 l3, uint32 l4) {
#if defined(_WIN32)
    return Uid{{ByteOf(l1, 0), ByteOf(l1, 8), ByteOf(l1, 16), ByteOf(l1, 24), ByteOf(l2, 16),
                ByteOf(l2, 24), ByteOf(l2, 0), ByteOf(l2, 8), ByteOf(l3, 24), ByteOf(l3, 16),
                ByteOf(l3, 8), ByteOf(l3, 0), ByteOf(l4, 24), ByteOf(l4, 16), ByteOf(l4, 8),
                ByteOf(l4, 0)}};
#else
    return Uid{{ByteOf(l1, 24), ByteOf(l1, 16), ByteOf(l1, 8), ByteOf(l1, 0), ByteOf(l2, 24),
                ByteOf(l2, 16), ByteOf(l2, 8), ByteOf(l2, 0), ByteOf(l3, 24), ByteOf(l3, 16),
                ByteOf(l3, 8), ByteOf(l3, 0), ByteOf(l4, 24), ByteOf(l4, 16), ByteOf(l4, 8),
                ByteOf(l4, 0)}};
#endif
}

// The root of every interface: lookup of the object's other interfaces and
// its reference count. An object starts with one reference and deletes
// itself when the last is released. No virtual destructor: the table of
// methods must begin with these three.
class FUnknown {
  public:
    // kResultOk with *obj set and a reference added, or kNoInterface with
    // *obj null.
    virtual tresult PLUGIN_API queryInterface(const TUID id, void** obj) = 0;
    virtual uint32 PLUGIN_API addRef() = 0;
    virtual uint32 PLUGIN_API release() = 0;

    static constexpr Uid iid = MakeUid(0x00000000, 0x00000000, 0xC0000000, 0x00000046);

  protected:
    ~FUnknown() = default;
};

// A host's byte stream, for saved state.
class IBStream : public FUnknown {
  public:
    enum SeekMode : int32 { kIBSeekSet = 0, kIBSeekCur, kIBSeekEnd };

    virtual tresult PLUGIN_API read(void* buffer, int32 numBytes, int32* numBytesRead) = 0;
    virtual tresult PLUGIN_API write(void* buffer, int32 numBytes, int32* numBytesWritten) = 0;
    virtual tresult PLUGIN_API seek(int64 pos, int32 mode, int64* result) = 0;
    virtual tresult PLUGIN_API tell(int64* pos) = 0;

    static constexpr Uid iid = MakeUid(0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B);

  protected:
    ~IBStream() = default;
};

// What every class the factory makes answers first: set up with the host's
// context, and torn down before release.
class IPluginBase : public FUnknown {
  public:
    virtual tresult PLUGIN_API initialize(FUnknown* context) = 0;
    virtual tresult PLUGIN_API terminate() = 0;

    static constexpr Uid iid = MakeUid(0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625);

  protected:
    ~IPluginBase() = default;
};

VST3_PACK_PUSH

// Who made the module.
struct PFactoryInfo {
    enum FactoryFlags : int32 {
        kNoFlags = 0,
        kClassesDiscardable = 1 << 0,
        kLicenseCheck = 1 << 1,
        kComponentNonDiscardable = 1 << 3,
        kUnicode = 1 << 4,
    };
    char8 vendor[64];
    char8 url[256];
    char8 email[128];
    int32 flags;
};

// One class the module can make.
struct PClassInfo {
    static constexpr int32 kManyInstances = 0x7FFFFFFF;
    char8 cid[16];
    int32 cardinality;
    char8 category[32];  // "Audio Module Class" for a processor
    char8 name[64];
};

// The same with what a host sorts plug-ins by.
struct PClassInfo2 {
    char8 cid[16];
    int32 cardinality;
    char8 category[32];
    char8 name[64];
    uint32 classFlags;
    char8 subCategories[128];  // "|"-separated, "Fx|Reverb"
    char8 vendor[64];
    char8 version[64];
    char8 sdkVersion[64];
};

// PClassInfo2 with the texts in UTF-16.
struct PClassInfoW {
    char8 cid[16];
    int32 cardinality;
    char8 category[32];
    char16 name[64];
    uint32 classFlags;
    char8 subCategories[128];
    char16 vendor[64];
    char16 version[64];
    char16 sdkVersion[64];
};

VST3_PACK_POP

// The module's one exported object: what it holds and how to make it.
class IPluginFactory : public FUnknown {
  public:
    virtual tresult PLUGIN_API getFactoryInfo(PFactoryInfo* info) = 0;
    virtual int32 PLUGIN_API countClasses() = 0;
    virtual tresult PLUGIN_API getClassInfo(int32 index, PClassInfo* info) = 0;
    virtual tresult PLUGIN_API createInstance(FIDString cid, FIDString interfaceId, void** obj) = 0;

    static constexpr Uid iid = MakeUid(0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F);

  protected:
    ~IPluginFactory() = default;
};

class IPluginFactory2 : public IPluginFactory {
  public:
    virtual tresult PLUGIN_API getClassInfo2(int32 index, PClassInfo2* info) = 0;

    static constexpr Uid iid = MakeUid(0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB);

  protected:
    ~IPluginFactory2() = default;
};

class IPluginFactory3 : public IPluginFactory2 {
  public:
    virtual tresult PLUGIN_API getClassInfoUnicode(int32 index, PClassInfoW* info) = 0;
    virtual tresult PLUGIN_API setHostContext(FUnknown* context) = 0;

    static constexpr Uid iid = MakeUid(0x4555A2AB, 0xC1234E57, 0x9B122910, 0x36878931);

  protected:
    ~IPluginFactory3() = default;
};

// The module's exported factory function.
using GetFactoryProc = IPluginFactory*(PLUGIN_API*)();

static_assert(sizeof(Uid) == 16);
static_assert(sizeof(PFactoryInfo) == 452);
static_assert(sizeof(PClassInfo) == 116);
static_assert(offsetof(PClassInfo2, classFlags) == 116);
static_assert(sizeof(PClassInfo2) == 440);
static_assert(offsetof(PClassInfoW, classFlags) == 180);
static_assert(sizeof(PClassInfoW) == 696);

}  // namespace vst3
