// The editor in a VST 3 view, in a real X11 window on Xvfb: embedded at its
// size in the host's window, driven by the host's run loop, a drag reaching
// the host as beginEdit, performEdit and endEdit on the run loop's thread,
// and nothing left behind once the view is removed.
#include <gtest/gtest.h>
// After GoogleTest: Xlib defines None as a macro.
#include <X11/Xlib.h>

#include <chrono>
#include <thread>

#include "Vst3Fixture.h"
#include "tests/x11/X11Session.h"
#include "vst3/Vst3ViewAbi.h"

using namespace vst3;

namespace {

// The host's run loop: keeps the one timer a view registers; the test runs
// it, on its own thread, as a host's UI thread would.
class TestRunLoop final : public Vst3HostObject<linux_ui::IRunLoop> {
  public:
    tresult PLUGIN_API registerEventHandler(linux_ui::IEventHandler*,
                                            linux_ui::FileDescriptor) override {
        return kNotImplemented;
    }
    tresult PLUGIN_API unregisterEventHandler(linux_ui::IEventHandler*) override {
        return kResultOk;
    }
    tresult PLUGIN_API registerTimer(linux_ui::ITimerHandler* handler,
                                     linux_ui::TimerInterval) override {
        timer = handler;
        return kResultOk;
    }
    tresult PLUGIN_API unregisterTimer(linux_ui::ITimerHandler* handler) override {
        if (timer == handler)
            timer = nullptr;
        return kResultOk;
    }
    void Tick() {
        if (timer)
            timer->onTimer();
    }
    linux_ui::ITimerHandler* timer = nullptr;
};

// The host's frame around the view, offering the run loop.
class TestFrame final : public Vst3HostObject<IPlugFrame> {
  public:
    explicit TestFrame(TestRunLoop& loop) : mLoop(loop) {}
    tresult PLUGIN_API queryInterface(const TUID id, void** obj) override {
        if (obj && linux_ui::IRunLoop::iid.Matches(id)) {
            mLoop.addRef();
            *obj = static_cast<linux_ui::IRunLoop*>(&mLoop);
            return kResultOk;
        }
        return Vst3HostObject<IPlugFrame>::queryInterface(id, obj);
    }
    tresult PLUGIN_API resizeView(IPlugView*, ViewRect*) override { return kResultFalse; }

  private:
    TestRunLoop& mLoop;
};

}  // namespace

TEST(Vst3Editor, EmbedsTheEditorAndSendsADragThroughTheRunLoop) {
    X11Session x;
    if (!x.Get())
        GTEST_SKIP() << "no X server: ctest runs this program under xvfb-run";
    const Window parent = x.CreateParent(0, 0, 600, 400);
    x.MoveTo(550, 350);

    Vst3Instance plug(Bundle());
    IEditController* ec = plug.Controller();
    Vst3RecordingHandler handler;
    ASSERT_EQ(ec->setComponentHandler(&handler), kResultOk);
    EXPECT_EQ(ec->createView("other"), nullptr);
    IPlugView* view = ec->createView(kViewTypeEditor);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(ec->createView(kViewTypeEditor), nullptr) << "one view at a time";
    EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultTrue);
    EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeHWND), kResultFalse);
    ViewRect size{};
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.right - size.left, 404);
    EXPECT_EQ(size.bottom - size.top, 250);

    TestRunLoop loop;
    TestFrame frame(loop);
    ASSERT_EQ(view->setFrame(&frame), kResultOk);
    ASSERT_EQ(view->attached(X11Session::AsParent(parent), kPlatformTypeX11EmbedWindowID),
              kResultOk);
    EXPECT_NE(loop.timer, nullptr);
    const std::vector<Window> children = x.Children(parent);
    ASSERT_EQ(children.size(), 1u);
    const X11Session::Geometry g = x.GeometryOf(children[0]);
    EXPECT_EQ(g.width, 404u);
    EXPECT_EQ(g.height, 250u);

    // The Wet/Dry knob dragged 32 pixels up: 0.5 + 32/256 = 62.5 %.
    const int knobX = 69 + 32 + g.x, knobY = 128 + 32 + g.y;
    x.MoveTo(knobX, knobY);
    x.Button(1, true);
    for (int moved = 0; moved != -32; moved -= 4)
        x.MoveTo(knobX, knobY + moved - 4);
    x.Button(1, false);
    // The editor's own thread handles the drag meanwhile; what it sends
    // waits for the run loop.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(handler.Edits().empty());
    ASSERT_TRUE(WaitFor(
        [&] {
            loop.Tick();
            const auto edits = handler.Edits();
            return !edits.empty() && edits.back().kind == 'e';
        },
        2000));
    const auto edits = handler.Edits();
    ASSERT_GE(edits.size(), 3u);
    EXPECT_EQ(edits.front().kind, 'b');
    for (std::size_t i = 1; i + 1 < edits.size(); ++i)
        EXPECT_EQ(edits[i].kind, 'p');
    EXPECT_EQ(edits[edits.size() - 2].value, 0.625);
    for (const auto& edit : edits) {
        EXPECT_EQ(edit.id, 0u);
        // Hosts take edits on their UI thread: whichever thread handled the
        // mouse, they arrive on the run loop's.
        EXPECT_EQ(edit.thread, std::this_thread::get_id());
    }
    EXPECT_EQ(ec->getParamNormalized(0), 0.625);

    ASSERT_EQ(view->removed(), kResultOk);
    EXPECT_EQ(loop.timer, nullptr);
    EXPECT_TRUE(x.Children(parent).empty());
    EXPECT_TRUE(x.PointerFree());
    EXPECT_EQ(loop.ForeignRefs(), 0u);
    view->release();
    // Gone, the view makes room for another.
    IPlugView* again = ec->createView(kViewTypeEditor);
    EXPECT_NE(again, nullptr);
    if (again)
        again->release();
    ec->setComponentHandler(nullptr);
    EXPECT_EQ(handler.ForeignRefs(), 0u);
}
