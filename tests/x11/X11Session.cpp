#include "tests/x11/X11Session.h"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

namespace {

// Errors on the session's own connection are expected (a window queried
// after the test destroyed it); those on any other connection, the editor's
// included, still reach the default handler, which ends the program.
Display* gSession = nullptr;
XErrorHandler gDefault = nullptr;

int SessionErrorHandler(Display* display, XErrorEvent* error) {
    if (display == gSession)
        return 0;
    return gDefault ? gDefault(display, error) : 0;
}

}  // namespace

X11Session::X11Session() {
    // Xvfb now and then refuses a connection made just after another closed.
    WaitFor([&] { return (mDisplay = XOpenDisplay(nullptr)) != nullptr; }, 200);
    if (!mDisplay)
        return;
    gSession = mDisplay;
    XErrorHandler previous = XSetErrorHandler(&SessionErrorHandler);
    if (previous != &SessionErrorHandler)
        gDefault = previous;
}

X11Session::~X11Session() {
    if (!mDisplay)
        return;
    XCloseDisplay(mDisplay);  // takes every window of the session with it
    gSession = nullptr;
}

Window X11Session::CreateParent(int x, int y, unsigned width, unsigned height) {
    XSetWindowAttributes attributes{};
    attributes.background_pixel = 0x404040;
    // No window manager runs under Xvfb; this keeps one from moving it if
    // one does.
    attributes.override_redirect = True;
    const int screen = DefaultScreen(mDisplay);
    Window window = XCreateWindow(mDisplay, RootWindow(mDisplay, screen), x, y, width, height, 0,
                                  CopyFromParent, InputOutput, CopyFromParent,
                                  CWBackPixel | CWOverrideRedirect, &attributes);
    XMapWindow(mDisplay, window);
    XSync(mDisplay, False);
    mWindows.push_back(window);
    return window;
}

void X11Session::Destroy(Window window) {
    XDestroyWindow(mDisplay, window);
    XSync(mDisplay, False);
    mWindows.erase(std::remove(mWindows.begin(), mWindows.end(), window), mWindows.end());
}

std::vector<Window> X11Session::Children(Window parent) {
    Window root = 0, up = 0;
    Window* children = nullptr;
    unsigned n = 0;
    std::vector<Window> out;
    if (XQueryTree(mDisplay, parent, &root, &up, &children, &n)) {
        out.assign(children, children + n);
        if (children)
            XFree(children);
    }
    return out;
}

X11Session::Geometry X11Session::GeometryOf(Window window) {
    Geometry g;
    XWindowAttributes a{};
    if (XGetWindowAttributes(mDisplay, window, &a)) {
        g.x = a.x;
        g.y = a.y;
        g.width = static_cast<unsigned>(a.width);
        g.height = static_cast<unsigned>(a.height);
        g.viewable = a.map_state == IsViewable;
    }
    return g;
}

void X11Session::Move(Window window, int x, int y) {
    XMoveWindow(mDisplay, window, x, y);
    XSync(mDisplay, False);
}

std::vector<std::uint32_t> X11Session::Pixels(Window window, unsigned width, unsigned height) {
    std::vector<std::uint32_t> out;
    XImage* image = XGetImage(mDisplay, window, 0, 0, width, height, AllPlanes, ZPixmap);
    if (!image)
        return out;
    // Each channel read through the image's colour masks and widened to 8
    // bits, so a shallower screen reads back comparable values.
    auto channel = [](unsigned long pixel, unsigned long mask) -> std::uint32_t {
        if (!mask)
            return 0;
        const int shift = __builtin_ctzl(mask);
        return static_cast<std::uint32_t>(((pixel & mask) >> shift) * 255 / (mask >> shift));
    };
    out.reserve(static_cast<std::size_t>(width) * height);
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            const unsigned long p = XGetPixel(image, static_cast<int>(x), static_cast<int>(y));
            out.push_back(channel(p, image->red_mask) << 16 | channel(p, image->green_mask) << 8 |
                          channel(p, image->blue_mask));
        }
    }
    XDestroyImage(image);
    return out;
}

void X11Session::MoveTo(int rootX, int rootY) {
    XTestFakeMotionEvent(mDisplay, DefaultScreen(mDisplay), rootX, rootY, CurrentTime);
    XSync(mDisplay, False);
}

void X11Session::Button(unsigned button, bool down) {
    XTestFakeButtonEvent(mDisplay, button, down ? True : False, CurrentTime);
    XSync(mDisplay, False);
}

void X11Session::Click(unsigned button) {
    Button(button, true);
    Button(button, false);
}

void X11Session::Key(unsigned long keysym, bool down) {
    XTestFakeKeyEvent(mDisplay, XKeysymToKeycode(mDisplay, keysym), down ? True : False,
                      CurrentTime);
    XSync(mDisplay, False);
}

int X11Session::Depth() const {
    return DefaultDepth(mDisplay, DefaultScreen(mDisplay));
}

bool X11Session::PointerFree() {
    const Window root = DefaultRootWindow(mDisplay);
    const int status = XGrabPointer(mDisplay, root, False, ButtonPressMask, GrabModeAsync,
                                    GrabModeAsync, None, None, CurrentTime);
    if (status == GrabSuccess)
        XUngrabPointer(mDisplay, CurrentTime);
    XSync(mDisplay, False);
    return status == GrabSuccess;
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

namespace {

int CountEntries(const char* directory) {
    int n = 0;
    if (DIR* dir = opendir(directory)) {
        while (const dirent* entry = readdir(dir)) {
            if (entry->d_name[0] != '.')
                ++n;
        }
        closedir(dir);
    }
    return n;
}

}  // namespace

int ThreadCount() {
    return CountEntries("/proc/self/task");
}

int OpenDescriptorCount() {
    // Less the one the count itself opens.
    return CountEntries("/proc/self/fd") - 1;
}

bool LibraryMapped(const std::string& name) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.find(name) != std::string::npos)
            return true;
    }
    return false;
}
