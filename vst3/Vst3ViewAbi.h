// The VST 3 editor interfaces, declared from Steinberg's published interface
// definitions: the plug-in's view, the host's frame around it and, on Linux,
// the host's run loop that drives the view's timers and file descriptors.
// Shared by the plug-in (vst3/) and the test host (tools/host/).
#pragma once

#include "vst3/Vst3Abi.h"

namespace vst3 {

class IPlugFrame;

// Not packed in the published headers: natural layout everywhere.
struct ViewRect {
    int32 left;
    int32 top;
    int32 right;
    int32 bottom;
};

// The parent handle IPlugView::attached receives, by platform.
constexpr const char* kPlatformTypeHWND = "HWND";
constexpr const char* kPlatformTypeX11EmbedWindowID = "X11EmbedWindowID";

class IPlugView : public FUnknown {
  public:
    virtual tresult PLUGIN_API isPlatformTypeSupported(FIDString type) = 0;
    virtual tresult PLUGIN_API attached(void* parent, FIDString type) = 0;
    virtual tresult PLUGIN_API removed() = 0;
    virtual tresult PLUGIN_API onWheel(float distance) = 0;
    virtual tresult PLUGIN_API onKeyDown(char16 key, int16 keyCode, int16 modifiers) = 0;
    virtual tresult PLUGIN_API onKeyUp(char16 key, int16 keyCode, int16 modifiers) = 0;
    virtual tresult PLUGIN_API getSize(ViewRect* size) = 0;
    virtual tresult PLUGIN_API onSize(ViewRect* newSize) = 0;
    virtual tresult PLUGIN_API onFocus(TBool state) = 0;
    virtual tresult PLUGIN_API setFrame(IPlugFrame* frame) = 0;
    virtual tresult PLUGIN_API canResize() = 0;
    virtual tresult PLUGIN_API checkSizeConstraint(ViewRect* rect) = 0;

    static constexpr Uid iid = MakeUid(0x5BC32507, 0xD06049EA, 0xA6151B52, 0x2B755B29);

  protected:
    ~IPlugView() = default;
};

class IPlugFrame : public FUnknown {
  public:
    virtual tresult PLUGIN_API resizeView(IPlugView* view, ViewRect* newSize) = 0;

    static constexpr Uid iid = MakeUid(0x367FAF01, 0xAFA94693, 0x8D4DA2A0, 0xED0882A3);

  protected:
    ~IPlugFrame() = default;
};

// Linux has no process-wide event loop: the host's frame offers its own
// (queried from the IPlugFrame), which calls these handlers on its UI thread.
namespace linux_ui {

using TimerInterval = uint64;  // milliseconds
using FileDescriptor = int;

class IEventHandler : public FUnknown {
  public:
    virtual void PLUGIN_API onFDIsSet(FileDescriptor fd) = 0;

    static constexpr Uid iid = MakeUid(0x561E65C9, 0x13A0496F, 0x813A2C35, 0x654D7983);

  protected:
    ~IEventHandler() = default;
};

class ITimerHandler : public FUnknown {
  public:
    virtual void PLUGIN_API onTimer() = 0;

    static constexpr Uid iid = MakeUid(0x10BDD94F, 0x41424774, 0x821FAD8F, 0xECA72CA9);

  protected:
    ~ITimerHandler() = default;
};

class IRunLoop : public FUnknown {
  public:
    virtual tresult PLUGIN_API registerEventHandler(IEventHandler* handler, FileDescriptor fd) = 0;
    virtual tresult PLUGIN_API unregisterEventHandler(IEventHandler* handler) = 0;
    virtual tresult PLUGIN_API registerTimer(ITimerHandler* handler,
                                             TimerInterval milliseconds) = 0;
    virtual tresult PLUGIN_API unregisterTimer(ITimerHandler* handler) = 0;

    static constexpr Uid iid = MakeUid(0x18C35366, 0x97764F1A, 0x9C5B8385, 0x7A871389);

  protected:
    ~IRunLoop() = default;
};

}  // namespace linux_ui

static_assert(sizeof(ViewRect) == 16);

}  // namespace vst3
