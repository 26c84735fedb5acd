// What the editor leaves behind: no window, thread or display connection,
// however it goes away (closed, reopened a hundred times, its plug-in
// destroyed with it open, its host window destroyed under it, closed from
// inside a host callback, closed while its thread waits for the plug-in
// mutex) and when it cannot open at all. Built twice: against the module, and
// with the plug-in compiled into the program under AddressSanitizer.
#include <cstdlib>
#include <future>
#include <thread>

#include "tests/x11/EditorFixture.h"

namespace {

using Ms = std::chrono::milliseconds;

class EditorLifetimeTest : public EditorTest {
  protected:
    void SetUp() override {
        EditorTest::SetUp();
        if (HasFatalFailure())
            return;
        // Counted after one open and close: the process's first connection
        // sets up Xlib's own lasting state.
        ASSERT_TRUE(Open());
        Close();
        ASSERT_TRUE(WaitFor([&] { return x.Children(parent).empty(); }, 1000));
        threads = ThreadCount();
        descriptors = OpenDescriptorCount();
    }

    // `pluginGone`: the instance itself has been destroyed, and with it the
    // thread it prepares changes on.
    bool NothingLeft(Window in, bool pluginGone = false) {
        const int expected = threads - (pluginGone ? kInstanceThreads : 0);
        return WaitFor(
            [&] {
                return ThreadCount() == expected && OpenDescriptorCount() == descriptors &&
                       x.Children(in).empty();
            },
            2000);
    }
    static constexpr int kInstanceThreads = 1;

    void PressOnWetKnob() {
        x.MoveTo(kWetX, kKnobY);
        x.Button(1, true);
        ASSERT_TRUE(WaitFor([&] { return host->CountCalls(audioMasterBeginEdit) == 1; }, 1000));
    }

    int threads = 0;
    int descriptors = 0;
};

}  // namespace

TEST_F(EditorLifetimeTest, OpenReopenAndCloseAHundredTimes) {
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(Open()) << i;
        ASSERT_TRUE(Open()) << i;
        if (i % 10 == 0) {
            ASSERT_TRUE(WaitFor([&] { return x.Children(parent).size() == 1; }, 1000)) << i;
        }
        Close();
    }
    EXPECT_TRUE(NothingLeft(parent));
    EXPECT_EQ(ThreadCount(), threads);
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    ASSERT_TRUE(Open());
    EXPECT_TRUE(Shows(Editor(), ExpectedPicture(0.5f, 0.5f)));
}

TEST_F(EditorLifetimeTest, DestroyingThePlugInWithTheEditorOpenEndsThePressInProgress) {
    ASSERT_TRUE(Open());
    PressOnWetKnob();
    x.MoveTo(kWetX, kKnobY - 8);
    ASSERT_TRUE(WaitFor([&] { return host->CountCalls(audioMasterAutomate) >= 1; }, 1000));
    host->Close();
    x.Button(1, false);
    EXPECT_EQ(host->CountCalls(audioMasterEndEdit), 1);
    EXPECT_TRUE(NothingLeft(parent, true));
    EXPECT_TRUE(WaitFor([&] { return x.PointerFree(); }, 1000));
}

TEST_F(EditorLifetimeTest, AHostWindowDestroyedUnderTheEditorIsSurvived) {
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Shows(Editor(), ExpectedPicture(0.5f, 0.5f)));
    PressOnWetKnob();
    x.Destroy(parent);
    x.Button(1, false);
    // The press can no longer be released in the window: its gesture ends
    // with the window.
    EXPECT_TRUE(WaitFor([&] { return host->CountCalls(audioMasterEndEdit) == 1; }, 1000));
    // Repaints and requests aimed at the vanished window fail quietly.
    host->SetParameter(0, 0.2f);
    std::this_thread::sleep_for(Ms(100));
    host->Dispatch(effEditIdle);
    Close();
    EXPECT_TRUE(NothingLeft(parent));

    parent = x.CreateParent(0, 0, 600, 400);
    ASSERT_TRUE(Open());
    EXPECT_TRUE(Shows(Editor(), ExpectedPicture(0.2f, 0.5f)));
}

TEST_F(EditorLifetimeTest, ClosedByTheHostFromInsideAGestureCallback) {
    ASSERT_TRUE(Open());
    std::atomic<bool> closed{false};
    host->SetReaction([&](const VstHost::Call& c) {
        if (c.opcode == audioMasterEndEdit && !closed.exchange(true))
            host->Dispatch(effEditClose);
    });
    x.MoveTo(kWetX, kKnobY);
    x.Click(1);
    EXPECT_TRUE(WaitFor([&] { return closed.load(); }, 1000));
    EXPECT_TRUE(NothingLeft(parent));
    host->SetReaction(nullptr);

    ASSERT_TRUE(Open());
    EXPECT_TRUE(Shows(Editor(), ExpectedPicture(0.5f, 0.5f)));
}

// effEditClose holds the plug-in mutex while it joins the editor thread. Here
// the thread has events to handle and is waiting for that mutex when the
// close begins: the close must still finish.
TEST_F(EditorLifetimeTest, ClosingWhileTheEditorThreadWaitsForTheMutex) {
    ASSERT_TRUE(Open());
    PressOnWetKnob();
    // The close ends the press first, calling the host with the mutex held:
    // the host makes the editor thread busy and gives it time to block.
    host->SetReaction([&](const VstHost::Call& c) {
        if (c.opcode != audioMasterEndEdit)
            return;
        x.MoveTo(kWetX, kKnobY - 20);
        x.MoveTo(kWetX, kKnobY - 24);
        std::this_thread::sleep_for(Ms(150));
    });
    auto closing = std::async(std::launch::async, [&] { Close(); });
    if (closing.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "effEditClose deadlocked against the editor thread";
        std::_Exit(1);
    }
    host->SetReaction(nullptr);
    x.Button(1, false);
    EXPECT_EQ(host->CountCalls(audioMasterEndEdit), 1);
    EXPECT_TRUE(NothingLeft(parent));
}

TEST_F(EditorLifetimeTest, OpeningFailsCleanly) {
    EXPECT_EQ(host->Dispatch(effEditOpen, 0, 0, nullptr), 0);
    EXPECT_EQ(host->Dispatch(effEditOpen, 0, 0, X11Session::AsParent(0x7fe00001)), 0);
    const std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    unsetenv("DISPLAY");
    EXPECT_EQ(host->Dispatch(effEditOpen, 0, 0, X11Session::AsParent(parent)), 0);
    setenv("DISPLAY", display.c_str(), 1);
    EXPECT_TRUE(NothingLeft(parent));

    // Reopened into a window that does not exist: the old window is gone too.
    ASSERT_TRUE(Open());
    EXPECT_EQ(host->Dispatch(effEditOpen, 0, 0, X11Session::AsParent(0x7fe00001)), 0);
    EXPECT_TRUE(NothingLeft(parent));
    Close();
    ASSERT_TRUE(Open());
    EXPECT_TRUE(Shows(Editor(), ExpectedPicture(0.5f, 0.5f)));
}

TEST_F(EditorLifetimeTest, UnloadingTheLibraryLeavesNothing) {
    if (!PluginUnderTest::FromModule())
        GTEST_SKIP() << "the plug-in is linked into this program";
    ASSERT_TRUE(LibraryMapped(PluginUnderTest::ModuleFileName()));
    ASSERT_TRUE(Open());
    host->Close();
    plugin.Unload();
    EXPECT_FALSE(LibraryMapped(PluginUnderTest::ModuleFileName()));
    EXPECT_TRUE(NothingLeft(parent, true));
}
