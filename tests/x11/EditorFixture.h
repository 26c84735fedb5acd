// One plug-in instance, a recording host and a host window of the test's own
// on the X server the tests run against (Xvfb under ctest).
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

#include "tests/x11/PluginUnderTest.h"
#include "tests/x11/X11Session.h"
#include "tools/host/VstHost.h"

class EditorTest : public ::testing::Test {
  protected:
    // The knobs' centres in editor pixels; the host window stands at the
    // root's origin and the editor at the host window's, so these are root
    // coordinates too.
    static constexpr int kWetX = 69 + 32;
    static constexpr int kSustainX = 270 + 32;
    static constexpr int kKnobY = 128 + 32;
    // A point of the host window outside the editor.
    static constexpr int kAsideX = 550;
    static constexpr int kAsideY = 350;

    void SetUp() override {
        ASSERT_NE(x.Get(), nullptr) << "no X server: run under xvfb-run";
        std::string error;
        ASSERT_TRUE(plugin.Load(&error)) << error;
        host = std::make_unique<VstHost>(plugin.Entry());
        ASSERT_NE(host->Effect(), nullptr);
        host->Dispatch(effOpen);
        parent = x.CreateParent(0, 0, 600, 400);
        x.MoveTo(kAsideX, kAsideY);
    }

    void TearDown() override {
        host.reset();
        plugin.Unload();
    }

    bool Open(Window into) {
        return host->Dispatch(effEditOpen, 0, 0, X11Session::AsParent(into)) == 1;
    }
    bool Open() { return Open(parent); }
    // Opens the editor, waits for `picture` and forgets the calls made so
    // far: where most tests start.
    void OpenShowing(const std::vector<std::uint32_t>& picture) {
        ASSERT_TRUE(Open());
        ASSERT_TRUE(Shows(Editor(), picture));
        host->ClearCalls();
    }
    void Close() { host->Dispatch(effEditClose); }

    // The editor's window: the one child of `in`, or 0.
    Window EditorIn(Window in) {
        const std::vector<Window> children = x.Children(in);
        return children.size() == 1 ? children[0] : 0;
    }
    Window Editor() { return EditorIn(parent); }

    // Pixels that differ from the picture: exactly on a true-colour screen
    // of 24 bits, by more than a step of 5 bits a channel on a shallower one.
    int Mismatches(Window editor, const std::vector<std::uint32_t>& expected) {
        const std::vector<std::uint32_t> seen = x.Pixels(editor, kEditorWidth, kEditorHeight);
        if (seen.size() != expected.size())
            return static_cast<int>(expected.size());
        const int tolerance = x.Depth() >= 24 ? 0 : 8;
        int n = 0;
        for (std::size_t i = 0; i < seen.size(); ++i) {
            for (int shift = 0; shift < 24; shift += 8) {
                const int a = static_cast<int>(seen[i] >> shift & 0xff);
                const int b = static_cast<int>(expected[i] >> shift & 0xff);
                if (std::abs(a - b) > tolerance) {
                    ++n;
                    break;
                }
            }
        }
        return n;
    }
    bool Shows(Window editor, const std::vector<std::uint32_t>& expected, int timeoutMs = 1000) {
        return WaitFor([&] { return Mismatches(editor, expected) == 0; }, timeoutMs);
    }

    // A press at (fromX, fromY), moves by (0, dy) in steps of 4 pixels, and
    // the release there.
    void Drag(unsigned button, int fromX, int fromY, int dy) {
        x.MoveTo(fromX, fromY);
        x.Button(button, true);
        const int step = dy < 0 ? -4 : 4;
        for (int moved = 0; moved != dy; moved += step)
            x.MoveTo(fromX, fromY + moved + step);
        x.Button(button, false);
    }

    bool ParameterBecomes(int index, float value, int timeoutMs = 1000) {
        return WaitFor([&] { return std::abs(host->GetParameter(index) - value) < 1e-6f; },
                       timeoutMs);
    }

    X11Session x;
    PluginUnderTest plugin;
    std::unique_ptr<VstHost> host;
    Window parent = 0;
};
