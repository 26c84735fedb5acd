// The LV2 UI binary loaded through suil, as GTK and Qt hosts load it, into a
// window of the test's own on Xvfb: the picture against the VST 2 editor's
// at the same values, a drag reaching the host as a touched port write, and
// a host's port change moving the knob.
#include <gtest/gtest.h>
// After GoogleTest: Xlib defines None as a macro.
#include <X11/Xlib.h>
#include <lv2/ui/ui.h>
#include <suil/suil.h>

#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

#include "tests/x11/PluginUnderTest.h"
#include "tests/x11/X11Session.h"

namespace {

// What the UI sent the host, in order. The editor's own thread may send it.
struct Sent {
    enum Kind { kWrite, kTouch } kind;
    std::uint32_t port;
    float value;  // the written value, or 1 / 0 for a touch and its end
};

struct Recorder {
    std::mutex lock;
    std::vector<Sent> sent;
    std::vector<Sent> Take() {
        std::lock_guard<std::mutex> l(lock);
        return sent;
    }
};

void Write(SuilController controller, std::uint32_t port, std::uint32_t size,
           std::uint32_t protocol, const void* buffer) {
    auto* r = static_cast<Recorder*>(controller);
    if (size != sizeof(float) || protocol != 0)
        return;
    float v = 0.0f;
    std::memcpy(&v, buffer, sizeof(v));
    std::lock_guard<std::mutex> l(r->lock);
    r->sent.push_back({Sent::kWrite, port, v});
}

void Touch(SuilController controller, std::uint32_t port, bool grabbed) {
    auto* r = static_cast<Recorder*>(controller);
    std::lock_guard<std::mutex> l(r->lock);
    r->sent.push_back({Sent::kTouch, port, grabbed ? 1.0f : 0.0f});
}

std::uint32_t Index(SuilController, const char* symbol) {
    if (!std::strcmp(symbol, "wet_dry"))
        return 4;
    if (!std::strcmp(symbol, "sustain"))
        return 5;
    return static_cast<std::uint32_t>(-1);
}

}  // namespace

TEST(LV2Editor, EmbedsTheVst2PictureSendsTouchedDragsAndFollowsTheHost) {
    X11Session x;
    ASSERT_NE(x.Get(), nullptr) << "no X server: run under xvfb-run";
    const Window parent = x.CreateParent(0, 0, 600, 400);
    x.MoveTo(550, 350);

    Recorder recorder;
    SuilHost* host = suil_host_new(&Write, &Index, nullptr, nullptr);
    suil_host_set_touch_func(host, &Touch);
    const LV2_Feature parentFeature{LV2_UI__parent, X11Session::AsParent(parent)};
    const LV2_Feature* features[] = {&parentFeature, nullptr};
    SuilInstance* ui = suil_instance_new(
        host, &recorder, LV2_UI__X11UI, "urn:brightfall:reverb", "urn:brightfall:reverb#ui",
        LV2_UI__X11UI, BRIGHTFALL_LV2_BUNDLE "/", BRIGHTFALL_LV2_BUNDLE "/brightfall_ui.so",
        features);
    ASSERT_NE(ui, nullptr);

    // The editor is the one child of the host's window, and the widget.
    const std::vector<Window> children = x.Children(parent);
    ASSERT_EQ(children.size(), 1u);
    const Window editor = children[0];
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(suil_instance_get_widget(ui)), editor);
    const X11Session::Geometry g = x.GeometryOf(editor);
    EXPECT_EQ(g.width, kEditorWidth);
    EXPECT_EQ(g.height, kEditorHeight);
    const auto* idle = static_cast<const LV2UI_Idle_Interface*>(
        suil_instance_extension_data(ui, LV2_UI__idleInterface));
    ASSERT_NE(idle, nullptr);

    auto shows = [&](float wet, float sustain) {
        const std::vector<std::uint32_t> expected = ExpectedPicture(wet, sustain);
        return WaitFor(
            [&] {
                // The host's idle calls and the editor's thread both paint.
                idle->idle(suil_instance_get_handle(ui));
                return x.Pixels(editor, kEditorWidth, kEditorHeight) == expected;
            },
            1000);
    };
    EXPECT_TRUE(shows(0.5f, 0.5f));

    // A host change on the Sustain port moves its knob.
    const float sustain = 80.0f;
    suil_instance_port_event(ui, 5, sizeof(float), 0, &sustain);
    EXPECT_TRUE(shows(0.5f, 0.8f));

    // The Wet/Dry knob dragged 32 pixels up: 0.5 + 32/256 = 62.5 %, written
    // to its port between touch and release.
    const int knobX = 69 + 32 + g.x, knobY = 128 + 32 + g.y;
    x.MoveTo(knobX, knobY);
    x.Button(1, true);
    for (int moved = 0; moved != -32; moved -= 4)
        x.MoveTo(knobX, knobY + moved - 4);
    x.Button(1, false);
    ASSERT_TRUE(WaitFor(
        [&] {
            idle->idle(suil_instance_get_handle(ui));
            const std::vector<Sent> s = recorder.Take();
            return !s.empty() && s.back().kind == Sent::kTouch && s.back().value == 0.0f;
        },
        1000));
    const std::vector<Sent> sent = recorder.Take();
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent.front().kind, Sent::kTouch);
    EXPECT_EQ(sent.front().value, 1.0f);
    for (const Sent& s : sent)
        EXPECT_EQ(s.port, 4u);
    for (std::size_t i = 1; i + 1 < sent.size(); ++i)
        EXPECT_EQ(sent[i].kind, Sent::kWrite);
    EXPECT_EQ(sent[sent.size() - 2].value, 62.5f);
    EXPECT_TRUE(shows(0.625f, 0.8f));

    // Closing takes the window away and leaves the pointer free.
    suil_instance_free(ui);
    EXPECT_TRUE(x.Children(parent).empty());
    EXPECT_TRUE(x.PointerFree());
    suil_host_free(host);
}
