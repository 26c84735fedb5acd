// The test's own connection to the X server, standing in for a host: makes
// the windows the editor opens inside, reads windows back, and drives the
// real pointer and keyboard through the XTest extension. Also the process
// resources an editor must give back. Main test thread only.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class X11Session {
  public:
    X11Session();
    ~X11Session();
    X11Session(const X11Session&) = delete;
    X11Session& operator=(const X11Session&) = delete;

    // Null when there is no X server to talk to.
    Display* Get() const { return mDisplay; }

    // A mapped top-level window at (x, y) of the root, as a host's editor
    // frame; destroyed with the session unless destroyed before.
    Window CreateParent(int x, int y, unsigned width, unsigned height);
    void Destroy(Window window);
    static void* AsParent(Window window) {
        return reinterpret_cast<void*>(static_cast<std::uintptr_t>(window));
    }

    std::vector<Window> Children(Window parent);
    struct Geometry {
        int x = 0;
        int y = 0;
        unsigned width = 0;
        unsigned height = 0;
        bool viewable = false;
    };
    Geometry GeometryOf(Window window);
    void Move(Window window, int x, int y);
    // The window's pixels as 0xRRGGBB, row by row; empty when unreadable.
    std::vector<std::uint32_t> Pixels(Window window, unsigned width, unsigned height);
    // Bits per pixel of the screen's default visual.
    int Depth() const;

    // XTest: the pointer to a point of the root window, a button or key
    // pressed or released, each sent to the server at once.
    void MoveTo(int rootX, int rootY);
    void Button(unsigned button, bool down);
    void Click(unsigned button);
    void Key(unsigned long keysym, bool down);
    // True when no client holds the pointer grabbed.
    bool PointerFree();

  private:
    Display* mDisplay = nullptr;
    std::vector<Window> mWindows;
};

// Waits, checking every few milliseconds, until `condition` holds; false
// when it still does not after `timeoutMs`.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs);

// What the process holds: threads, open descriptors, and whether a library
// whose path contains `name` is mapped.
int ThreadCount();
int OpenDescriptorCount();
bool LibraryMapped(const std::string& name);
