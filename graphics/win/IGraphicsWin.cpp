#include "graphics/win/IGraphicsWin.h"

#include <windows.h>

#include "framework/IPlugBase.h"
#include "graphics/EmbeddedImages.h"
#include "render/LICE_LoadPngFromMemory.h"

namespace {

HINSTANCE gLibraryInstance = nullptr;
// Editor windows open in the process, over all plug-in instances: the
// window class is registered while this is above zero.
int gWindowCount = 0;
// The frame rate of the editor that opened a window last, read by that
// window's WM_CREATE to start its timer.
double gTimerRate = 25.0;

IModifierKeys ModifiersFrom(WPARAM wParam) {
    IModifierKeys mods;
    mods.left = (wParam & MK_LBUTTON) != 0;
    mods.right = (wParam & MK_RBUTTON) != 0;
    mods.shift = (wParam & MK_SHIFT) != 0;
    mods.control = (wParam & MK_CONTROL) != 0;
    mods.alt = GetKeyState(VK_MENU) < 0;
    return mods;
}

int MouseX(LPARAM lParam) {
    return static_cast<short>(LOWORD(lParam));
}
int MouseY(LPARAM lParam) {
    return static_cast<short>(HIWORD(lParam));
}

// Virtual-key code to the editor's key codes; -1 for keys it does not know.
int MapKey(WPARAM vk) {
    switch (vk) {
        case VK_SPACE:
            return kKeySpace;
        case VK_UP:
            return kKeyUp;
        case VK_DOWN:
            return kKeyDown;
        case VK_LEFT:
            return kKeyLeft;
        case VK_RIGHT:
            return kKeyRight;
        default:
            break;
    }
    if (vk >= 0x30 && vk <= 0x39)
        return static_cast<int>(vk) - 0x2B;
    if (vk >= 0x41 && vk <= 0x5A)
        return static_cast<int>(vk) - 0x32;
    if (vk >= 0x61 && vk <= 0x7A)
        return static_cast<int>(vk) - 0x52;
    return -1;
}

void RegisterWindowClass(HINSTANCE instance, WNDPROC proc) {
    WNDCLASSA wc = {};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.lpszClassName = IGraphicsWin::kWindowClass;
    RegisterClassA(&wc);
}

}  // namespace

// The window procedure, a friend in all but name: it reaches the editor
// through the window's user data.
struct IGraphicsWin::Proc {
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT Handle(IGraphicsWin& g, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
};

HINSTANCE__* IGraphicsWin::LibraryInstance() {
    return gLibraryInstance ? gLibraryInstance : GetModuleHandleA(nullptr);
}

void IGraphicsWin::SetLibraryInstance(HINSTANCE__* instance) {
    gLibraryInstance = instance;
}

IGraphicsWin::IGraphicsWin(IPlugBase* plug, int width, int height, int frameRate)
    : IGraphics(plug, width, height, frameRate), mInstance(LibraryInstance()) {}

IGraphicsWin::~IGraphicsWin() {
    CloseEditorWindow();
}

bool IGraphicsWin::OpenEditorWindow(void* parent) {
    int x = 0, y = 0, w = Width(), h = Height();
    mParent = static_cast<HWND>(parent);
    if (mWindow) {
        // Opened again while open: the new window takes the old one's place.
        // The place is measured in the parent's client coordinates, where a
        // child window is positioned; measured from the parent's outer
        // rectangle it would drift by the parent's frame on every reopen.
        RECT windowRect{};
        GetWindowRect(mWindow, &windowRect);
        POINT topLeft = {windowRect.left, windowRect.top};
        ScreenToClient(mParent, &topLeft);
        CloseEditorWindow();
        x = topLeft.x;
        y = topLeft.y;
        w = windowRect.right - windowRect.left;
        h = windowRect.bottom - windowRect.top;
    }
    if (gWindowCount++ == 0)
        RegisterWindowClass(mInstance, &Proc::WndProc);
    gTimerRate = FrameRate();
    mWindow = CreateWindowExA(0, kWindowClass, "IPlug", WS_CHILD | WS_VISIBLE, x, y, w, h, mParent,
                              nullptr, mInstance, this);
    if (!mWindow) {
        if (--gWindowCount == 0)
            UnregisterClassA(kWindowClass, mInstance);
        return false;
    }
    MarkAllControlsChanged();  // the first tick repaints everything
    return true;
}

void IGraphicsWin::CloseEditorWindow() {
    if (!mWindow)
        return;
    // A press the window will never see released (the host closed the
    // editor mid-drag) must not leave the host's gesture open.
    ReleaseCapture();
    HWND window = mWindow;
    mWindow = nullptr;
    DestroyWindow(window);
    if (gWindowCount-- == 1)
        UnregisterClassA(kWindowClass, mInstance);
}

bool IGraphicsWin::PresentRegion(const IRect& area) {
    if (!mWindow || !Offscreen())
        return false;
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(mWindow, &ps);
    BitBlt(dc, area.left, area.top, area.W(), area.H(), Offscreen()->DeviceContext(), area.left,
           area.top, SRCCOPY);
    EndPaint(mWindow, &ps);
    return true;
}

std::unique_ptr<LICE_IBitmap> IGraphicsWin::LoadImageResource(int resourceId, const char* name) {
    if (!HasPngExtension(name))
        return nullptr;
    HRSRC res = FindResourceA(mInstance, MAKEINTRESOURCEA(resourceId), "PNG");
    if (!res)
        return nullptr;
    const DWORD size = SizeofResource(mInstance, res);
    if (size < 8)
        return nullptr;
    HGLOBAL handle = LoadResource(mInstance, res);
    const void* data = handle ? LockResource(handle) : nullptr;
    if (!data)
        return nullptr;
    return std::unique_ptr<LICE_IBitmap>(LICE_LoadPngFromMemory(data, size, nullptr));
}

LRESULT CALLBACK IGraphicsWin::Proc::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        SetTimer(hwnd, kTimerId, static_cast<UINT>(1000.0 / gTimerRate), nullptr);
        SetFocus(hwnd);
        return 0;
    }
    auto* g = reinterpret_cast<IGraphicsWin*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    // Messages that arrive before CreateWindowExA returned, or for a window
    // the editor has already let go of, get the default handling.
    if (!g || g->mWindow != hwnd)
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    try {
        IPlugBase* plug = g->Plug();
        const LRESULT result = Handle(*g, hwnd, msg, wParam, lParam);
        // A knob's costly change (a new Sustain) is made once the message has
        // let the mutex go, on this thread, before the message returns.
        const bool input = (msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST) ||
                           (msg >= WM_KEYFIRST && msg <= WM_KEYLAST);
        if (input && plug)
            plug->RunPendingChanges();
        return result;
    } catch (...) {
        return 0;  // nothing may unwind into the host's message loop
    }
}

LRESULT IGraphicsWin::Proc::Handle(IGraphicsWin& g, HWND hwnd, UINT msg, WPARAM wParam,
                                   LPARAM lParam) {
    IPlugBase::Mutex* mutex = g.Plug() ? &g.Plug()->GetMutex() : nullptr;
    auto locked = [&](auto&& body) {
        if (mutex) {
            IPlugBase::Lock lock(*mutex);
            return body();
        }
        return body();
    };
    // A press, drag or release at the message's position, under the lock.
    auto mouse = [&](void (IGraphics::*handler)(int, int, const IModifierKeys&)) {
        locked([&] { (g.*handler)(MouseX(lParam), MouseY(lParam), ModifiersFrom(wParam)); });
    };
    switch (msg) {
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            return 0;
        case WM_PAINT: {
            RECT r;
            if (GetUpdateRect(hwnd, &r, FALSE) && !IsRectEmpty(&r))
                locked([&] { return g.RedrawRegion(IRect(r.left, r.top, r.right, r.bottom)); });
            // With nothing to draw BeginPaint never ran: validate, or Windows
            // would send WM_PAINT again at once.
            ValidateRect(hwnd, nullptr);
            return 0;
        }
        case WM_CLOSE:
            locked([&] { g.CloseEditorWindow(); });
            return 0;
        case WM_TIMER: {
            if (wParam != kTimerId)
                return 0;
            IRect dirty;
            if (locked([&] { return g.CollectDirtyArea(&dirty); })) {
                RECT r = {dirty.left, dirty.top, dirty.right, dirty.bottom};
                InvalidateRect(hwnd, &r, FALSE);
                UpdateWindow(hwnd);
            }
            return 0;
        }
        case WM_KEYDOWN: {
            const int key = MapKey(wParam);
            if (key >= 0) {
                POINT p;
                GetCursorPos(&p);
                ScreenToClient(hwnd, &p);
                if (locked([&] { return g.KeyDown(p.x, p.y, key); }))
                    return 0;
            }
            HWND root = GetAncestor(hwnd, GA_ROOT);
            if (root && root != hwnd)
                SendMessageA(root, msg, wParam, lParam);
            return DefWindowProcA(hwnd, msg, wParam, lParam);
        }
        case WM_KEYUP: {
            HWND root = GetAncestor(hwnd, GA_ROOT);
            if (root && root != hwnd)
                SendMessageA(root, msg, wParam, lParam);
            return DefWindowProcA(hwnd, msg, wParam, lParam);
        }
        case WM_MOUSEMOVE:
            if ((wParam & (MK_LBUTTON | MK_RBUTTON)) && GetCapture() == hwnd)
                mouse(&IGraphics::MouseDrag);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            SetFocus(hwnd);
            SetCapture(hwnd);
            mouse(&IGraphics::MouseDown);
            return 0;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP:
            // The middle button ends its press like the others: a gesture
            // begun on a press must end on its release.
            mouse(&IGraphics::MouseUp);
            if (GetCapture() == hwnd)
                ::ReleaseCapture();
            return 0;
        case WM_CAPTURECHANGED:
            // Capture taken away mid-press (another window grabbed the mouse):
            // no release will come, so end the press and its gesture now.
            locked([&] { g.ReleaseCapture(); });
            return 0;
        case WM_LBUTTONDBLCLK:
            locked([&] {
                return g.MouseDoubleClick(MouseX(lParam), MouseY(lParam), ModifiersFrom(wParam));
            });
            return 0;
        case WM_MOUSEWHEEL: {
            const int steps = static_cast<short>(HIWORD(wParam)) / WHEEL_DELTA;
            RECT wr;
            GetWindowRect(hwnd, &wr);
            const int x = MouseX(lParam) - wr.left, y = MouseY(lParam) - wr.top;
            locked([&] { g.MouseWheel(x, y, ModifiersFrom(LOWORD(wParam)), steps); });
            return 0;
        }
        default:
            return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}
