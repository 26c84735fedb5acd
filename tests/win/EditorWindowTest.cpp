// The Win32 editor in real windows: Brightfall.dll loaded by path, its editor
// opened inside a top-level window of this program, driven with mouse, wheel
// and key messages, and its pixels read back from the screen.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <thread>

#include "graphics/EmbeddedImages.h"
#include "render/LICE_BlitBitmap.h"
#include "render/LICE_MemBitmap.h"
#include "tests/abi/ModuleFixture.h"
#include "tests/support/GestureChecks.h"

namespace {

// The host's window: records the key messages the editor forwards to it.
struct KeySeen {
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<KeySeen> gKeysAtHost;

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_KEYDOWN)
        gKeysAtHost.push_back({wParam, lParam});
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND MakeHostWindow() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = HostProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "BrightfallTestHost";
        RegisterClassA(&wc);
        registered = true;
    }
    return CreateWindowExA(0, "BrightfallTestHost", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40,
                           40, 640, 480, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

void Pump(int ms) {
    const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(5);
    } while (static_cast<LONG>(end - GetTickCount()) > 0);
}

int CountEditors(HWND parent) {
    int n = 0;
    for (HWND w = FindWindowExA(parent, nullptr, "IPlugWndClass", nullptr); w;
         w = FindWindowExA(parent, w, "IPlugWndClass", nullptr))
        ++n;
    return n;
}

bool ClassRegistered() {
    WNDCLASSA wc;
    return GetClassInfoA(static_cast<HINSTANCE>(Module().NativeHandle()), "IPlugWndClass", &wc) !=
           0;
}

// The window's pixels as 0x00RRGGBB.
std::vector<std::uint32_t> ReadWindow(HWND w, int width, int height) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    HDC wdc = GetDC(w);
    HDC mdc = CreateCompatibleDC(wdc);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(mdc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mdc, dib);
    BitBlt(mdc, 0, 0, width, height, wdc, 0, 0, SRCCOPY);
    GdiFlush();
    const auto* src = static_cast<const std::uint32_t*>(bits);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = src[i] & 0xFFFFFFu;
    SelectObject(mdc, old);
    DeleteObject(dib);
    DeleteDC(mdc);
    ReleaseDC(w, wdc);
    return pixels;
}

// The editor picture composed independently from the images: background,
// then each knob's frame for its value.
std::vector<std::uint32_t> ExpectedPicture(double wet, double sustain) {
    auto back = LoadEmbeddedImage(102, "back.png");
    auto knob = LoadEmbeddedImage(101, "knob.png");
    EXPECT_TRUE(back && knob);
    LICE_MemBitmap pic(404, 250);
    LICE_BlitBitmap(&pic, back.get(), 0, 0, nullptr, 1.0f, LICE_BLEND_COPY);
    auto frameTop = [](double v) {
        const int frame = static_cast<int>(30 * v + 0.5) + 1;
        return static_cast<int>(1984.0 * (frame - 1) / 31 + 0.5);
    };
    LICE_Rect k1{0, frameTop(wet), 64, frameTop(wet) + 64};
    LICE_Rect k2{0, frameTop(sustain), 64, frameTop(sustain) + 64};
    LICE_BlitBitmap(&pic, knob.get(), 69, 128, &k1, 1.0f, LICE_BLEND_USE_SOURCE_ALPHA);
    LICE_BlitBitmap(&pic, knob.get(), 270, 128, &k2, 1.0f, LICE_BLEND_USE_SOURCE_ALPHA);
    std::vector<std::uint32_t> out(404 * 250);
    for (int y = 0; y < 250; ++y)
        for (int x = 0; x < 404; ++x)
            out[y * 404 + x] = pic.Bits()[y * pic.RowSpan() + x] & 0xFFFFFFu;
    return out;
}

int Differences(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
    int n = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        n += a[i] != b[i];
    return n;
}

struct OpenEditor {
    OpenEditor() : parent(MakeHostWindow()), host(Module()) {
        host.Dispatch(effOpen);
        opened = host.Dispatch(effEditOpen, 0, 0, parent);
        editor = FindWindowExA(parent, nullptr, "IPlugWndClass", nullptr);
        Pump(150);
        host.ClearCalls();
    }
    ~OpenEditor() {
        host.Dispatch(effEditClose);
        host.Close();
        DestroyWindow(parent);
    }
    float Param(int i) { return host.Effect()->getParameter(host.Effect(), i); }

    HWND parent;
    VstHost host;
    VstIntPtr opened = 0;
    HWND editor = nullptr;
};

}  // namespace

TEST(EditorWindow, OneChildWindowAtTheOriginAndSharedClassRegistration) {
    HWND parent = MakeHostWindow();
    VstHost a(Module()), b(Module());
    EXPECT_EQ(a.Effect()->flags & effFlagsHasEditor, effFlagsHasEditor);
    ERect* rect = nullptr;
    ASSERT_EQ(a.Dispatch(effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(rect->right - rect->left, 404);
    EXPECT_EQ(rect->bottom - rect->top, 250);

    for (int round = 0; round < 2; ++round) {  // the second opens again without closing
        ASSERT_EQ(a.Dispatch(effEditOpen, 0, 0, parent), 1);
        ASSERT_EQ(CountEditors(parent), 1);
        HWND w = FindWindowExA(parent, nullptr, "IPlugWndClass", nullptr);
        RECT wr;
        GetWindowRect(w, &wr);
        POINT origin = {0, 0};
        ClientToScreen(parent, &origin);
        EXPECT_EQ(wr.left, origin.x);
        EXPECT_EQ(wr.top, origin.y);
        EXPECT_EQ(wr.right - wr.left, 404);
        EXPECT_EQ(wr.bottom - wr.top, 250);
    }
    EXPECT_EQ(a.Dispatch(effEditClose), 1);
    EXPECT_EQ(CountEditors(parent), 0);
    EXPECT_FALSE(ClassRegistered());

    HWND parent2 = MakeHostWindow();
    ASSERT_EQ(a.Dispatch(effEditOpen, 0, 0, parent), 1);
    ASSERT_EQ(b.Dispatch(effEditOpen, 0, 0, parent2), 1);
    EXPECT_TRUE(ClassRegistered());
    a.Dispatch(effEditClose);
    EXPECT_TRUE(ClassRegistered()) << "the other editor still uses it";
    b.Dispatch(effEditClose);
    EXPECT_FALSE(ClassRegistered());
    // Destroying an instance with its editor open leaves no window behind.
    ASSERT_EQ(b.Dispatch(effEditOpen, 0, 0, parent2), 1);
    b.Close();
    EXPECT_EQ(CountEditors(parent2), 0);
    EXPECT_FALSE(ClassRegistered());
    DestroyWindow(parent);
    DestroyWindow(parent2);
}

TEST(EditorWindow, ScreenShowsTheComposedPicture) {
    OpenEditor ed;
    ASSERT_EQ(ed.opened, 1);
    EXPECT_EQ(Differences(ReadWindow(ed.editor, 404, 250), ExpectedPicture(0.5, 0.5)), 0);
}

TEST(EditorWindow, LeftDragIsOneGestureAndRepaintsTheKnob) {
    OpenEditor ed;
    PostMessageA(ed.editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 160));
    PostMessageA(ed.editor, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(100, 152));
    PostMessageA(ed.editor, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(100, 144));
    PostMessageA(ed.editor, WM_LBUTTONUP, 0, MAKELPARAM(100, 600));  // released outside
    Pump(90);                                                        // two timer periods
    ExpectTwoStepDragGesture(
        ed.host.CallsOf({audioMasterBeginEdit, audioMasterAutomate, audioMasterEndEdit}), 0);
    EXPECT_FLOAT_EQ(ed.Param(0), 0.5f + 16.0f / 256.0f);
    EXPECT_EQ(
        Differences(ReadWindow(ed.editor, 404, 250), ExpectedPicture(0.5 + 16.0 / 256.0, 0.5)), 0);
}

TEST(EditorWindow, RightDragWheelAndKeys) {
    OpenEditor ed;
    PostMessageA(ed.editor, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(300, 160));
    PostMessageA(ed.editor, WM_MOUSEMOVE, MK_RBUTTON, MAKELPARAM(300, 192));
    PostMessageA(ed.editor, WM_RBUTTONUP, 0, MAKELPARAM(300, 192));
    Pump(30);
    EXPECT_FLOAT_EQ(ed.Param(1), 0.5f - 32.0f / 256.0f);

    RECT wr;
    GetWindowRect(ed.editor, &wr);
    const LPARAM overKnob = MAKELPARAM(wr.left + 100, wr.top + 160);
    const float before = ed.Param(0);
    SendMessageA(ed.editor, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-240)), overKnob);
    EXPECT_NEAR(ed.Param(0), before - 0.02f, 1e-6);
    SendMessageA(ed.editor, WM_MOUSEWHEEL, MAKEWPARAM(0, 60), overKnob);
    EXPECT_NEAR(ed.Param(0), before - 0.02f, 1e-6) << "less than a notch changes nothing";

    gKeysAtHost.clear();
    SendMessageA(ed.editor, WM_KEYDOWN, 'A', 0x001E0001);
    SendMessageA(ed.editor, WM_KEYDOWN, VK_F5, 0x003F0001);
    ASSERT_EQ(gKeysAtHost.size(), 2u);
    EXPECT_EQ(gKeysAtHost[0].wParam, static_cast<WPARAM>('A'));
    EXPECT_EQ(gKeysAtHost[0].lParam, 0x001E0001);
    EXPECT_EQ(gKeysAtHost[1].wParam, static_cast<WPARAM>(VK_F5));
}

TEST(EditorWindow, HostThreadParameterChangeRepaintsAtTheNextTick) {
    OpenEditor ed;
    AEffect* e = ed.host.Effect();
    std::thread([e] { e->setParameter(e, 1, 1.0f); }).join();
    Pump(90);
    EXPECT_EQ(Differences(ReadWindow(ed.editor, 404, 250), ExpectedPicture(0.5, 1.0)), 0);
}
