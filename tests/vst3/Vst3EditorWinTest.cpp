// The editor in a VST 3 view on Windows, in a real window under Wine:
// embedded in the host's HWND at its size, a drag reaching the host as
// beginEdit, performEdit and endEdit on the thread that pumps the window's
// messages (there is no run loop to route them through), and no window left
// once the view is removed.
#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

#include "Vst3Fixture.h"
#include "vst3/Vst3ViewAbi.h"

using namespace vst3;

namespace {

HWND MakeHostWindow() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "BrightfallVst3TestHost";
    RegisterClassA(&wc);
    return CreateWindowExA(0, wc.lpszClassName, "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
                           640, 480, nullptr, nullptr, wc.hInstance, nullptr);
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

}  // namespace

TEST(Vst3Editor, EmbedsInTheHostsWindowAndSendsADragOnItsThread) {
    const HWND parent = MakeHostWindow();
    ASSERT_NE(parent, nullptr);
    Vst3Instance plug(Bundle());
    IEditController* ec = plug.Controller();
    Vst3RecordingHandler handler;
    ASSERT_EQ(ec->setComponentHandler(&handler), kResultOk);
    IPlugView* view = ec->createView(kViewTypeEditor);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeHWND), kResultTrue);
    EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultFalse);

    ASSERT_EQ(view->attached(parent, kPlatformTypeHWND), kResultOk);
    const HWND editor = GetWindow(parent, GW_CHILD);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(GetWindow(editor, GW_HWNDNEXT), nullptr) << "one child window";
    RECT r{};
    GetClientRect(editor, &r);
    EXPECT_EQ(r.right - r.left, 404);
    EXPECT_EQ(r.bottom - r.top, 250);

    // The Wet/Dry knob (centre 101, 160) dragged 32 pixels up: 62.5 %.
    PostMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(101, 160));
    for (int y = 152; y >= 128; y -= 8)
        PostMessageA(editor, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(101, y));
    PostMessageA(editor, WM_LBUTTONUP, 0, MAKELPARAM(101, 128));
    Pump(300);
    const auto edits = handler.Edits();
    ASSERT_GE(edits.size(), 3u);
    EXPECT_EQ(edits.front().kind, 'b');
    EXPECT_EQ(edits.back().kind, 'e');
    EXPECT_EQ(edits[edits.size() - 2].value, 0.625);
    for (const auto& edit : edits) {
        EXPECT_EQ(edit.id, 0u);
        EXPECT_EQ(edit.thread, std::this_thread::get_id());
    }
    EXPECT_EQ(ec->getParamNormalized(0), 0.625);

    ASSERT_EQ(view->removed(), kResultOk);
    EXPECT_EQ(GetWindow(parent, GW_CHILD), nullptr);
    view->release();
    ec->setComponentHandler(nullptr);
    EXPECT_EQ(handler.ForeignRefs(), 0u);
    DestroyWindow(parent);
}
