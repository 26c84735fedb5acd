// The X11 editor of the built module in a real X server: its window inside
// the host's, the picture on the screen, the mouse driven through XTest, and
// repaints with and without the host's idle calls.
#include <X11/keysym.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "tests/x11/EditorFixture.h"

namespace {

using Ms = std::chrono::milliseconds;

const std::vector<std::uint32_t>& PictureAtDefaults() {
    static const std::vector<std::uint32_t> picture = ExpectedPicture(0.5f, 0.5f);
    return picture;
}

}  // namespace

// No effEditIdle anywhere in this test: the editor paints on its own.
TEST_F(EditorTest, OpensOneChildWindowShowingTheOffscreenPicture) {
    ERect* rect = nullptr;
    ASSERT_EQ(host->Dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 404);
    EXPECT_EQ(rect->bottom - rect->top, 250);

    ASSERT_TRUE(Open());
    const Window editor = Editor();
    ASSERT_NE(editor, 0u);
    const X11Session::Geometry g = x.GeometryOf(editor);
    EXPECT_EQ(g.x, 0);
    EXPECT_EQ(g.y, 0);
    EXPECT_EQ(g.width, 404u);
    EXPECT_EQ(g.height, 250u);
    EXPECT_TRUE(g.viewable);
    EXPECT_TRUE(Shows(editor, PictureAtDefaults())) << Mismatches(editor, PictureAtDefaults());

    Close();
    EXPECT_TRUE(WaitFor([&] { return x.Children(parent).empty(); }, 1000));
}

TEST_F(EditorTest, ReopeningWhileOpenKeepsOneWindowAtTheSamePlaceAndRepaintsIt) {
    ASSERT_TRUE(Open());
    x.Move(Editor(), 7, 9);  // as a host arranging its frame might
    ASSERT_TRUE(Open());
    ASSERT_TRUE(WaitFor([&] { return x.Children(parent).size() == 1; }, 1000));
    const Window editor = Editor();
    const X11Session::Geometry g = x.GeometryOf(editor);
    EXPECT_EQ(g.x, 7);
    EXPECT_EQ(g.y, 9);
    EXPECT_EQ(g.width, 404u);
    EXPECT_EQ(g.height, 250u);
    EXPECT_TRUE(Shows(editor, PictureAtDefaults()));
}

TEST_F(EditorTest, DragsMoveAKnobByMinusDyOver256InsideOneGesture) {
    ASSERT_NO_FATAL_FAILURE(OpenShowing(PictureAtDefaults()));

    // Left button, 32 pixels up: 0.5 + 32/256.
    Drag(1, kWetX, kKnobY, -32);
    ASSERT_TRUE(ParameterBecomes(0, 0.625f));
    ASSERT_TRUE(WaitFor([&] { return host->CountCalls(audioMasterEndEdit) == 1; }, 1000));
    const auto calls =
        host->CallsOf({audioMasterBeginEdit, audioMasterAutomate, audioMasterEndEdit});
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls.front().opcode, audioMasterBeginEdit);
    EXPECT_EQ(calls.back().opcode, audioMasterEndEdit);
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].index, 0);
        if (i > 0 && i + 1 < calls.size()) {
            EXPECT_EQ(calls[i].opcode, audioMasterAutomate);
        }
    }
    EXPECT_NEAR(calls[calls.size() - 2].opt, 0.625f, 1e-6f);

    // Right button, 16 pixels down on the other knob: 0.5 - 16/256.
    host->ClearCalls();
    Drag(3, kSustainX, kKnobY, 16);
    ASSERT_TRUE(ParameterBecomes(1, 0.4375f));
    ASSERT_TRUE(WaitFor([&] { return host->CountCalls(audioMasterEndEdit) == 1; }, 1000));
    EXPECT_EQ(host->CountCalls(audioMasterBeginEdit), 1);
    EXPECT_EQ(host->CallsOf({audioMasterBeginEdit}).front().index, 1);

    // Shift gears down by ten: 40 pixels up move 40/2560.
    x.Key(XK_Shift_L, true);
    Drag(1, kWetX, kKnobY, -40);
    x.Key(XK_Shift_L, false);
    ASSERT_TRUE(ParameterBecomes(0, 0.625f + 0.015625f));

    EXPECT_TRUE(Shows(Editor(), ExpectedPicture(0.640625f, 0.4375f)));
}

TEST_F(EditorTest, DoubleClickRestoresTheDefaultWithoutAGesture) {
    host->SetParameter(0, 0.9f);
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Shows(Editor(), ExpectedPicture(0.9f, 0.5f)));
    host->ClearCalls();

    x.MoveTo(kWetX, kKnobY);
    x.Click(1);
    x.Click(1);
    ASSERT_TRUE(ParameterBecomes(0, 0.5f));
    // The first click is a press and release that changes nothing; the
    // second press restores the default; its release ends nothing.
    ASSERT_TRUE(WaitFor([&] { return host->CountCalls(audioMasterAutomate) == 1; }, 1000));
    std::this_thread::sleep_for(Ms(100));
    const auto calls =
        host->CallsOf({audioMasterBeginEdit, audioMasterAutomate, audioMasterEndEdit});
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].opcode, audioMasterBeginEdit);
    EXPECT_EQ(calls[1].opcode, audioMasterEndEdit);
    EXPECT_EQ(calls[2].opcode, audioMasterAutomate);
    EXPECT_FLOAT_EQ(calls[2].opt, 0.5f);
    EXPECT_TRUE(Shows(Editor(), PictureAtDefaults()));

    // Two clicks far apart are two single clicks.
    host->SetParameter(0, 0.9f);
    x.Click(1);
    x.MoveTo(kWetX + 20, kKnobY + 20);
    x.Click(1);
    std::this_thread::sleep_for(Ms(100));
    EXPECT_FLOAT_EQ(host->GetParameter(0), 0.9f);
}

TEST_F(EditorTest, WheelStepsAreOneNotchEachAndBeginNoGesture) {
    ASSERT_NO_FATAL_FAILURE(OpenShowing(PictureAtDefaults()));
    x.MoveTo(kWetX, kKnobY);
    x.Click(4);
    ASSERT_TRUE(ParameterBecomes(0, 0.51f));
    x.Click(5);
    x.Click(5);
    x.Click(5);
    ASSERT_TRUE(ParameterBecomes(0, 0.48f));
    x.Key(XK_Control_L, true);
    x.Click(4);
    x.Key(XK_Control_L, false);
    ASSERT_TRUE(ParameterBecomes(0, 0.481f));
    EXPECT_EQ(host->CountCalls(audioMasterAutomate), 5);
    EXPECT_EQ(host->CountCalls(audioMasterBeginEdit), 0);
    EXPECT_EQ(host->CountCalls(audioMasterEndEdit), 0);
    // Horizontal wheel buttons are not steps.
    x.Click(6);
    x.Click(7);
    std::this_thread::sleep_for(Ms(100));
    EXPECT_EQ(host->CountCalls(audioMasterAutomate), 5);
}

TEST_F(EditorTest, EveryButtonReleaseEndsItsGestureAndFreesThePointer) {
    ASSERT_NO_FATAL_FAILURE(OpenShowing(PictureAtDefaults()));

    // The middle button begins a gesture like the others; its release ends it.
    x.MoveTo(kWetX, kKnobY);
    x.Click(2);
    ASSERT_TRUE(WaitFor([&] { return host->CountCalls(audioMasterEndEdit) == 1; }, 1000));
    EXPECT_EQ(host->CountCalls(audioMasterBeginEdit), 1);
    EXPECT_TRUE(WaitFor([&] { return x.PointerFree(); }, 1000));

    // Released outside the editor, and outside the host's window: the grab
    // still delivers it, and the drag followed the pointer out there.
    x.MoveTo(kWetX, kKnobY);
    x.Button(1, true);
    ASSERT_TRUE(WaitFor([&] { return host->CountCalls(audioMasterBeginEdit) == 2; }, 1000));
    EXPECT_FALSE(x.PointerFree());
    x.MoveTo(kAsideX, kKnobY);
    x.MoveTo(900, kKnobY);
    x.MoveTo(900, kKnobY - 64);
    x.Button(1, false);
    ASSERT_TRUE(WaitFor([&] { return host->CountCalls(audioMasterEndEdit) == 2; }, 1000));
    EXPECT_TRUE(ParameterBecomes(0, 0.75f));
    EXPECT_TRUE(WaitFor([&] { return x.PointerFree(); }, 1000));
}

TEST_F(EditorTest, AHostThreadsParameterChangeIsOnScreenWithin100ms) {
    ASSERT_TRUE(Open());
    const Window editor = Editor();
    ASSERT_TRUE(Shows(editor, PictureAtDefaults()));
    const std::vector<std::uint32_t> expected = ExpectedPicture(0.1f, 0.5f);
    // Every round must show the change; the fastest must do so within
    // 100 ms. A loaded machine can delay any one round past that, but a
    // repaint that waits for anything slower than the 40 ms timer shows in
    // all of them.
    auto best = std::chrono::steady_clock::duration::max();
    for (int round = 0; round < 5; ++round) {
        const float value = round % 2 == 0 ? 0.1f : 0.5f;
        const auto& picture = round % 2 == 0 ? expected : PictureAtDefaults();
        const auto start = std::chrono::steady_clock::now();
        std::thread([&] { host->SetParameter(0, value); }).join();
        ASSERT_TRUE(Shows(editor, picture, 1000)) << "round " << round;
        best = std::min(best, std::chrono::steady_clock::now() - start);
    }
    EXPECT_LT(best, Ms(100));
}

// A host that idles often, a thread setting parameters and the editor's own
// thread all at once: nothing deadlocks and the picture ends right.
TEST_F(EditorTest, HostIdleAndTheEditorThreadShareTheWork) {
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Shows(Editor(), PictureAtDefaults()));
    std::atomic<bool> stop{false};
    std::thread idler([&] {
        while (!stop.load()) {
            host->Dispatch(effEditIdle);
            std::this_thread::sleep_for(Ms(1));
        }
    });
    std::thread setter([&] {
        for (int i = 0; !stop.load(); ++i) {
            host->SetParameter(1, static_cast<float>(i % 11) / 10.0f);
            std::this_thread::sleep_for(Ms(3));
        }
    });
    Drag(1, kWetX, kKnobY, -64);
    const bool moved = ParameterBecomes(0, 0.75f);
    stop = true;
    idler.join();
    setter.join();
    ASSERT_TRUE(moved);
    host->SetParameter(1, 0.25f);
    EXPECT_TRUE(Shows(Editor(), ExpectedPicture(0.75f, 0.25f)));
}
