// The X11 editor window of the Linux build: a child of the window the host
// passes to effEditOpen, on a display connection of the editor's own. Every
// 40 ms it repaints the controls that changed, turns button, motion and wheel
// events into the graphics context's events and copies the offscreen picture
// to the window with XPutImage. Images come from the bytes embedded in the
// library. Owned by the plug-in's editor; the connection, the window and the
// editor thread exist only between opening and closing.
//
// Threads. Linux hosts call effEditIdle on their interface thread, most of
// them every few tens of milliseconds, some rarely or never. So the editor
// runs a thread of its own that waits on the connection's socket (and on a
// wake-up pipe) for at most one timer period, and effEditIdle does the same
// work on the host's thread whenever it comes: whichever arrives first
// handles the pending events and the due tick.
//
// Locking. All of that work happens with the plug-in mutex held: it guards
// the controls against host threads setting parameters, and it is also what
// keeps the Xlib calls on the editor's connection to one thread at a time.
// XInitThreads is not used, since a library loaded into a running host cannot
// call it before the host's first Xlib call, as it must be. The editor thread
// takes the plug-in mutex only with try_lock, holding nothing else while it
// waits, and gives up as soon as it is told to stop; so a host thread that
// closes the editor (which holds the mutex) can always stop and join it.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "framework/IPlugBase.h"
#include "graphics/IGraphics.h"

class IGraphicsX11 : public IGraphics {
  public:
    // Double clicks: a second left press within this time and this distance
    // (in pixels, each way) of the first.
    static constexpr unsigned long kDoubleClickMs = 400;
    static constexpr int kDoubleClickSlop = 4;

    explicit IGraphicsX11(IPlugBase* plug, int width = kDefaultWidth, int height = kDefaultHeight,
                          int frameRate = kDefaultFrameRate);
    // Closes a window still open without calling into the plug-in, which is
    // being destroyed around it; effClose has normally closed it already.
    ~IGraphicsX11() override;
    IGraphicsX11(const IGraphicsX11&) = delete;
    IGraphicsX11& operator=(const IGraphicsX11&) = delete;

    // [host UI thread, plug-in mutex held] `parent` is the host's X11 window
    // id. Opened again while open, the new window takes the old one's place
    // and size inside the new parent. False when there is no display, the
    // parent does not exist, or the screen offers no true-colour visual.
    bool OpenEditorWindow(void* parent) override;
    // [host UI thread, plug-in mutex held] Ends a press in progress (its
    // gesture is closed with the host), stops the editor thread and closes
    // the connection, which takes the window with it.
    void CloseEditorWindow() override;
    // [host UI thread, plug-in mutex held] effEditIdle: events and the timer.
    void Idle() override;
    // The child window's id as a pointer; null while closed.
    void* WindowHandle() const override;
    // [whichever thread paints, plug-in mutex held]
    bool PresentRegion(const IRect& area) override;
    std::unique_ptr<LICE_IBitmap> LoadImageResource(int resourceId, const char* name) override;

    int TimerPeriodMs() const { return 1000 / (FrameRate() > 0 ? FrameRate() : 25); }

  private:
    using Clock = std::chrono::steady_clock;
    struct Connection;  // the Xlib objects; defined with the code that uses them
    struct Events;      // event translation, a friend in all but name

    IPlugBase::Mutex& EditorMutex();
    // The editor thread's loop. Keeps copies of the two descriptors it
    // waits on, which stay open until it has been joined.
    void Run(int displayFd, int wakeFd);
    // Takes the editor mutex unless told to stop first. [editor thread]
    bool LockUnlessStopping();
    // Handles what is pending and the tick when due; answers how long the
    // caller may wait before the next call. [mutex held]
    int Pump();
    void DrainEvents();
    void Paint(bool timerDue);
    // Stops and joins the thread (only stops it when called on it), then
    // closes the connection. [mutex held, or no thread left to race]
    void Shutdown();
    void StopThread();
    void JoinFinishedThread();
    void ReleaseConnection();

    std::unique_ptr<Connection> mX;
    std::thread mThread;
    std::atomic<bool> mStop{false};
    IPlugBase::Mutex mOwnMutex;  // for an editor without a plug-in (tests)
    Clock::time_point mNextTick;
    int mPumpDepth = 0;          // > 0 while events are being handled
    bool mClosePending = false;  // closed from inside event handling
};
