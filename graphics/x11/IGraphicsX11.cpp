#include "graphics/x11/IGraphicsX11.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "graphics/EmbeddedImages.h"
#include "render/LICE_SysBitmap.h"

// Xlib's KeyCode type would clash with the editor's key codes: renamed here,
// where no key is handled.
#define KeyCode XKeyCode
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// Last: for XESetWireToError. It defines min and max as macros.
#include <X11/Xlibint.h>
#undef KeyCode
#undef min
#undef max

namespace {

constexpr long kEventMask =
    ExposureMask | ButtonPressMask | ButtonReleaseMask | ButtonMotionMask | StructureNotifyMask;
// Motion is only of interest while a button is held; the hover traffic of
// PointerMotionMask would wake the thread, and take the plug-in mutex, for
// nothing.
constexpr unsigned kGrabMask = ButtonPressMask | ButtonReleaseMask | ButtonMotionMask;
constexpr unsigned kButtonsMask = Button1Mask | Button2Mask | Button3Mask;
// Events handled in one go at most, so that a flood cannot keep the plug-in
// mutex from the audio thread for long.
constexpr int kEventsPerPump = 256;

// Protocol errors on the editor's connection are expected and harmless: the
// host may destroy its window, and ours with it, before it closes the
// editor, and the requests that follow then fail. Without this they would
// reach the process's error handler, whose default ends the host. The hook
// belongs to this connection only, so no process-wide state is changed.
Bool IgnoreProtocolError(Display*, XErrorEvent*, xError*) {
    return False;
}

unsigned ButtonMask(unsigned button) {
    switch (button) {
        case Button1:
            return Button1Mask;
        case Button2:
            return Button2Mask;
        case Button3:
            return Button3Mask;
        default:
            return 0;
    }
}

IModifierKeys ModifiersFrom(unsigned state) {
    IModifierKeys mods;
    mods.left = (state & Button1Mask) != 0;
    mods.right = (state & Button3Mask) != 0;
    mods.shift = (state & ShiftMask) != 0;
    mods.control = (state & ControlMask) != 0;
    mods.alt = (state & Mod1Mask) != 0;
    return mods;
}

// An 8-bit channel scaled into the bits of a visual's colour mask.
unsigned long ScaleToMask(unsigned value, unsigned long mask) {
    if (!mask)
        return 0;
    const int shift = __builtin_ctzl(mask);
    const unsigned long top = mask >> shift;
    return ((value * top + 127) / 255) << shift;
}

// The display DISPLAY names. A refused connection is tried again twice:
// Xvfb, for one, now and then turns away a client that connects just after
// another has gone, as a reopening editor does.
Display* OpenDisplay() {
    for (int attempt = 0;; ++attempt) {
        if (Display* display = XOpenDisplay(nullptr))
            return display;
        const char* name = std::getenv("DISPLAY");
        if (!name || !*name || attempt == 2)
            return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

bool HostIsLittleEndian() {
    const std::uint32_t probe = 1;
    unsigned char first = 0;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

}  // namespace

// The editor's Xlib objects while the window is open. Its destructor
// releases them all; closing the connection would destroy the server-side
// ones anyway, but a window destroyed first disappears from the host at once.
struct IGraphicsX11::Connection {
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() {
        if (display) {
            if (grabbed)
                XUngrabPointer(display, CurrentTime);
            if (gc)
                XFreeGC(display, gc);
            if (window && !windowGone)
                XDestroyWindow(display, window);
            if (ownColormap)
                XFreeColormap(display, colormap);
            XCloseDisplay(display);
        }
        if (wakeRead >= 0)
            close(wakeRead);
        if (wakeWrite >= 0)
            close(wakeWrite);
    }

    // A true-colour visual for the window: depth 24 where the screen has
    // one, else the screen's default when that is true-colour. False when
    // neither exists.
    bool ChooseVisual(int screen) {
        XVisualInfo info{};
        if (XMatchVisualInfo(display, screen, 24, TrueColor, &info)) {
            visual = info.visual;
            depth = 24;
        } else {
            Visual* fallback = DefaultVisual(display, screen);
            XVisualInfo wanted{};
            wanted.visualid = XVisualIDFromVisual(fallback);
            int n = 0;
            XVisualInfo* found = XGetVisualInfo(display, VisualIDMask, &wanted, &n);
            const bool trueColour = found && n > 0 && found[0].c_class == TrueColor;
            if (found)
                XFree(found);
            if (!trueColour)
                return false;
            visual = fallback;
            depth = DefaultDepth(display, screen);
        }
        int bitsPerPixel = 0, n = 0;
        if (XPixmapFormatValues* formats = XListPixmapFormats(display, &n)) {
            for (int i = 0; i < n; ++i) {
                if (formats[i].depth == depth)
                    bitsPerPixel = formats[i].bits_per_pixel;
            }
            XFree(formats);
        }
        // Our pixels are 0xAARRGGBB words: a 32-bit visual with the usual
        // masks takes them as they are (the alpha byte is not shown).
        direct = bitsPerPixel == 32 && visual->red_mask == 0xff0000 &&
                 visual->green_mask == 0xff00 && visual->blue_mask == 0xff;
        return true;
    }

    unsigned long ToVisualPixel(Pixel p) const {
        return ScaleToMask((p >> 16) & 0xff, visual->red_mask) |
               ScaleToMask((p >> 8) & 0xff, visual->green_mask) |
               ScaleToMask(p & 0xff, visual->blue_mask);
    }

    Display* display = nullptr;
    Window window = 0;
    GC gc = nullptr;
    Visual* visual = nullptr;
    int depth = 0;
    Colormap colormap = 0;
    bool ownColormap = false;
    bool direct = false;
    int wakeRead = -1;  // the editor thread waits on it; a byte means "stop"
    int wakeWrite = -1;
    bool windowGone = false;  // destroyed by the server with the host's window
    bool pressed = false;     // a press is in progress: drags go to the editor
    bool grabbed = false;     // the pointer grab of that press
    bool leftPressKnown = false;
    Time leftPressTime = 0;  // server time of the last left press, for double clicks
    int leftPressX = 0;
    int leftPressY = 0;
    IRect exposed;  // exposed since the last paint
};

// X events to the graphics context's events. [mutex held, inside Pump]
struct IGraphicsX11::Events {
    static void Handle(IGraphicsX11& g, XEvent& ev) {
        Connection& c = *g.mX;
        switch (ev.type) {
            case Expose: {
                const XExposeEvent& e = ev.xexpose;
                c.exposed = c.exposed.Union(IRect(e.x, e.y, e.x + e.width, e.y + e.height));
                break;
            }
            case ButtonPress:
                Press(g, ev.xbutton);
                break;
            case ButtonRelease:
                Release(g, ev.xbutton);
                break;
            case MotionNotify:
                Motion(g, ev.xmotion);
                break;
            case DestroyNotify:
                if (ev.xdestroywindow.window == c.window) {
                    // No release will come for a press in progress.
                    c.windowGone = true;
                    c.pressed = c.grabbed = false;
                    g.ReleaseCapture();
                }
                break;
            default:
                break;
        }
    }

    static void Press(IGraphicsX11& g, const XButtonEvent& b) {
        Connection& c = *g.mX;
        if (b.button == Button4 || b.button == Button5) {
            // One wheel notch each; no gesture and no capture.
            g.MouseWheel(b.x, b.y, ModifiersFrom(b.state), b.button == Button4 ? 1 : -1);
            return;
        }
        const unsigned mask = ButtonMask(b.button);
        if (!mask)
            return;  // horizontal wheel, side buttons
        // The state is from before the press: add the button just pressed.
        const IModifierKeys mods = ModifiersFrom(b.state | mask);
        if (b.button == Button1) {
            const bool twice = c.leftPressKnown && b.time - c.leftPressTime <= kDoubleClickMs &&
                               std::abs(b.x - c.leftPressX) <= kDoubleClickSlop &&
                               std::abs(b.y - c.leftPressY) <= kDoubleClickSlop;
            if (twice) {
                // A third press starts over as a single one. A double click
                // begins no gesture and takes no capture.
                c.leftPressKnown = false;
                g.MouseDoubleClick(b.x, b.y, mods);
                return;
            }
            c.leftPressKnown = true;
            c.leftPressTime = b.time;
            c.leftPressX = b.x;
            c.leftPressY = b.y;
        } else {
            c.leftPressKnown = false;
        }
        c.pressed = true;
        // The press already holds the server's implicit grab; an explicit
        // one keeps the pointer ours until we let go of it.
        if (!c.grabbed) {
            c.grabbed = XGrabPointer(c.display, c.window, False, kGrabMask, GrabModeAsync,
                                     GrabModeAsync, None, None, b.time) == GrabSuccess;
        }
        g.MouseDown(b.x, b.y, mods);
    }

    // Every release of the left, middle or right button ends the press in
    // progress, and with it the parameter gesture. The middle one included:
    // a middle press begins a gesture like the others, and one left open
    // would keep the host waiting for its end.
    static void Release(IGraphicsX11& g, const XButtonEvent& b) {
        Connection& c = *g.mX;
        const unsigned mask = ButtonMask(b.button);
        if (!mask)
            return;
        // The state is from before the release: the released button is up.
        const IModifierKeys mods = ModifiersFrom(b.state & ~mask);
        if ((b.state & kButtonsMask & ~mask) == 0) {
            // Sent at once: the pointer is free before the host hears of
            // the release.
            if (c.grabbed) {
                XUngrabPointer(c.display, b.time);
                XFlush(c.display);
            }
            c.grabbed = false;
            c.pressed = false;
        }
        g.MouseUp(b.x, b.y, mods);
    }

    static void Motion(IGraphicsX11& g, XMotionEvent m) {
        Connection& c = *g.mX;
        // Consecutive motion already queued collapses into the last one: a
        // knob moves by the total distance either way.
        while (XEventsQueued(c.display, QueuedAlready) > 0) {
            XEvent next;
            XPeekEvent(c.display, &next);
            if (next.type != MotionNotify || next.xmotion.window != m.window)
                break;
            XNextEvent(c.display, &next);
            m = next.xmotion;
        }
        if (c.pressed && (m.state & (Button1Mask | Button3Mask)))
            g.MouseDrag(m.x, m.y, ModifiersFrom(m.state));
    }
};

IGraphicsX11::IGraphicsX11(IPlugBase* plug, int width, int height, int frameRate)
    : IGraphics(plug, width, height, frameRate) {}

IGraphicsX11::~IGraphicsX11() {
    // The plug-in is already partly destroyed: stop the thread without
    // calling into it. Set under the mutex, the flag cannot be missed by a
    // thread about to pump (it looks again once it holds the mutex).
    {
        std::lock_guard<IPlugBase::Mutex> lock(EditorMutex());
        mStop.store(true, std::memory_order_release);
    }
    StopThread();
    JoinFinishedThread();
    mX.reset();
}

IPlugBase::Mutex& IGraphicsX11::EditorMutex() {
    return Plug() ? Plug()->GetMutex() : mOwnMutex;
}

void* IGraphicsX11::WindowHandle() const {
    return mX ? reinterpret_cast<void*>(static_cast<std::uintptr_t>(mX->window)) : nullptr;
}

std::unique_ptr<LICE_IBitmap> IGraphicsX11::LoadImageResource(int resourceId, const char* name) {
    return LoadEmbeddedImage(resourceId, name);
}

bool IGraphicsX11::OpenEditorWindow(void* parent) {
    // Opening again from inside our own event handling (a host answering a
    // gesture by reopening) would pull the connection from under it.
    if (mPumpDepth > 0)
        return false;
    const Window parentWindow = static_cast<Window>(reinterpret_cast<std::uintptr_t>(parent));
    int x = 0, y = 0;
    unsigned w = static_cast<unsigned>(Width()), h = static_cast<unsigned>(Height());
    if (mX) {
        // Opened again while open: the new window takes the old one's place,
        // measured from the new parent's origin, and its size.
        if (!mX->windowGone) {
            Window child = 0, root = 0;
            int px = 0, py = 0;
            if (XTranslateCoordinates(mX->display, mX->window, parentWindow, 0, 0, &px, &py,
                                      &child)) {
                x = px;
                y = py;
            }
            unsigned gw = 0, gh = 0, border = 0, depth = 0;
            if (XGetGeometry(mX->display, mX->window, &root, &px, &py, &gw, &gh, &border, &depth)) {
                w = gw;
                h = gh;
            }
        }
        CloseEditorWindow();
    }
    JoinFinishedThread();
    if (!parentWindow)
        return false;

    auto c = std::make_unique<Connection>();
    c->display = OpenDisplay();
    if (!c->display)
        return false;
    Display* d = c->display;
    for (int code = BadRequest; code <= BadImplementation; ++code)
        XESetWireToError(d, code, &IgnoreProtocolError);

    XWindowAttributes parentAttributes{};
    if (!XGetWindowAttributes(d, parentWindow, &parentAttributes))
        return false;  // no such window
    const int screen = XScreenNumberOfScreen(parentAttributes.screen);
    if (!c->ChooseVisual(screen))
        return false;
    if (c->visual == DefaultVisual(d, screen)) {
        c->colormap = DefaultColormap(d, screen);
    } else {
        c->colormap = XCreateColormap(d, RootWindow(d, screen), c->visual, AllocNone);
        c->ownColormap = true;
    }
    // No background: every pixel is painted from the offscreen picture, and
    // the server clearing exposed areas first would only flicker.
    XSetWindowAttributes attributes{};
    attributes.background_pixmap = None;
    attributes.border_pixel = 0;
    attributes.colormap = c->colormap;
    c->window = XCreateWindow(d, parentWindow, x, y, w, h, 0, c->depth, InputOutput, c->visual,
                              CWBackPixmap | CWBorderPixel | CWColormap, &attributes);
    XSelectInput(d, c->window, kEventMask);
    c->gc = XCreateGC(d, c->window, 0, nullptr);
    XMapWindow(d, c->window);
    // A round trip: the window exists (the parent may have gone meanwhile).
    XWindowAttributes created{};
    if (!c->window || !XGetWindowAttributes(d, c->window, &created)) {
        c->windowGone = true;
        return false;
    }
    int wake[2] = {-1, -1};
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    c->wakeRead = wake[0];
    c->wakeWrite = wake[1];

    mX = std::move(c);
    mClosePending = false;
    MarkAllControlsChanged();
    mNextTick = Clock::now();
    mStop.store(false, std::memory_order_release);
    try {
        mThread = std::thread(&IGraphicsX11::Run, this, ConnectionNumber(d), mX->wakeRead);
    } catch (...) {
        mX.reset();
        return false;
    }
    return true;
}

void IGraphicsX11::CloseEditorWindow() {
    if (!mX)
        return;
    ReleaseCapture();
    if (mPumpDepth > 0) {
        // Closed by the host from inside a call we made while handling an
        // event: finished when that handling returns (Pump).
        mClosePending = true;
        return;
    }
    Shutdown();
}

void IGraphicsX11::Idle() {
    Pump();
}

void IGraphicsX11::Shutdown() {
    StopThread();
    mX.reset();
}

void IGraphicsX11::StopThread() {
    mStop.store(true, std::memory_order_release);
    if (mX && mX->wakeWrite >= 0) {
        const char byte = 1;
        if (write(mX->wakeWrite, &byte, 1) < 0) {
            // A full pipe already holds a wake-up; the flag does the rest.
        }
    }
    if (mThread.joinable() && mThread.get_id() != std::this_thread::get_id())
        JoinFinishedThread();
}

void IGraphicsX11::JoinFinishedThread() {
    if (!mThread.joinable())
        return;
    // A thread that closed its own window has left its loop, or is about to.
    // Nothing may escape from here into the dispatcher, which holds the
    // plug-in mutex: a join that fails leaves the thread detached.
    try {
        if (mThread.get_id() == std::this_thread::get_id()) {
            mThread.detach();
        } else {
            mThread.join();
        }
    } catch (...) {
        if (mThread.joinable())
            mThread.detach();
    }
}

bool IGraphicsX11::LockUnlessStopping() {
    return LockUnlessStopped(EditorMutex(), &mStop);
}

void IGraphicsX11::Run(int displayFd, int wakeFd) {
    int wait = 0;  // the first tick at once: it paints the whole editor
    while (!mStop.load(std::memory_order_acquire)) {
        if (wait > 0) {
            pollfd fds[2] = {{displayFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
            poll(fds, 2, wait);
        }
        if (!LockUnlessStopping())
            return;
        {
            std::lock_guard<IPlugBase::Mutex> lock(EditorMutex(), std::adopt_lock);
            if (mStop.load(std::memory_order_acquire))
                return;
            wait = Pump();
        }
        // A knob's costly change (a new Sustain) is made now, the mutex free;
        // when the host is closing the editor meanwhile, its thread makes it.
        if (IPlugBase* plug = Plug())
            plug->RunPendingChanges(&mStop);
    }
}

int IGraphicsX11::Pump() {
    const int period = TimerPeriodMs();
    // Pump does not nest: a host may call effEditIdle from inside a call we
    // make while handling an event.
    if (!mX || mClosePending || mPumpDepth > 0)
        return period;
    ++mPumpDepth;
    const Clock::time_point now = Clock::now();
    const bool due = now >= mNextTick;
    if (due) {
        mNextTick += std::chrono::milliseconds(period);
        // After a stall, no burst of ticks to catch up.
        if (mNextTick <= now)
            mNextTick = now + std::chrono::milliseconds(period);
    }
    DrainEvents();
    if (!mClosePending) {
        Paint(due);
        XFlush(mX->display);
    }
    --mPumpDepth;
    if (mClosePending) {
        mClosePending = false;
        Shutdown();
        return 0;
    }
    // Events Xlib has already read from the socket would not wake a poll.
    if (XEventsQueued(mX->display, QueuedAlready) > 0)
        return 0;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(mNextTick - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left + 1, 1, period));
}

void IGraphicsX11::DrainEvents() {
    Display* d = mX->display;
    for (int n = 0; n < kEventsPerPump && !mClosePending && XPending(d) > 0; ++n) {
        XEvent ev;
        XNextEvent(d, &ev);
        Events::Handle(*this, ev);
    }
}

void IGraphicsX11::Paint(bool timerDue) {
    // An exposed area is repainted together with every control waiting to be
    // drawn: a redraw marks all controls drawn, so a changed control left
    // out of it would not be shown until it changed again.
    IRect area = mX->exposed;
    mX->exposed = IRect();
    if (timerDue || !area.Empty())
        CollectDirtyArea(&area);
    if (!area.Empty())
        RedrawRegion(area);
}

bool IGraphicsX11::PresentRegion(const IRect& area) {
    const LICE_SysBitmap* bitmap = Offscreen();
    if (!mX || mX->windowGone || !bitmap || !bitmap->Bits())
        return true;  // nothing to show it on
    const int left = std::max(area.left, 0), top = std::max(area.top, 0);
    const int right = std::min(area.right, bitmap->Width());
    const int bottom = std::min(area.bottom, bitmap->Height());
    if (right <= left || bottom <= top)
        return true;
    const unsigned w = static_cast<unsigned>(right - left), h = static_cast<unsigned>(bottom - top);
    Connection& c = *mX;
    if (c.direct) {
        // An image header over the offscreen bitmap's own memory: no copy.
        XImage image{};
        image.width = bitmap->Width();
        image.height = bitmap->Height();
        image.xoffset = 0;
        image.format = ZPixmap;
        image.data = reinterpret_cast<char*>(bitmap->Bits());
        image.byte_order = HostIsLittleEndian() ? LSBFirst : MSBFirst;
        image.bitmap_unit = 32;
        image.bitmap_bit_order = image.byte_order;
        image.bitmap_pad = 32;
        image.depth = c.depth;
        image.bytes_per_line = bitmap->RowSpan() * static_cast<int>(sizeof(Pixel));
        image.bits_per_pixel = 32;
        image.red_mask = c.visual->red_mask;
        image.green_mask = c.visual->green_mask;
        image.blue_mask = c.visual->blue_mask;
        if (XInitImage(&image))
            XPutImage(c.display, c.window, c.gc, &image, left, top, left, top, w, h);
        return true;
    }
    // Any other true-colour visual: the area converted pixel by pixel.
    XImage* image = XCreateImage(c.display, c.visual, static_cast<unsigned>(c.depth), ZPixmap, 0,
                                 nullptr, w, h, 32, 0);
    if (!image)
        return true;
    image->data = static_cast<char*>(
        std::malloc(static_cast<std::size_t>(image->bytes_per_line) * static_cast<std::size_t>(h)));
    if (image->data) {
        for (int y = 0; y < static_cast<int>(h); ++y) {
            const Pixel* row = bitmap->Bits() + (top + y) * bitmap->RowSpan() + left;
            for (int x = 0; x < static_cast<int>(w); ++x)
                XPutPixel(image, x, y, c.ToVisualPixel(row[x]));
        }
        XPutImage(c.display, c.window, c.gc, image, 0, 0, left, top, w, h);
    }
    XDestroyImage(image);  // frees the data too
    return true;
}
