// The reverb's editor as the plug-in builds it: the layout, the composed
// picture from the real images, and knob gestures reaching the host.
#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "graphics/IGraphics.h"
#include "graphics/IKnobMultiControl.h"
#include "plugin/Brightfall.h"
#include "render/LICE_BlitBitmap.h"
#include "render/LICE_MemBitmap.h"
#include "tests/support/GestureChecks.h"

namespace {

struct Recorded {
    VstInt32 opcode;
    VstInt32 index;
    float opt;
};
std::vector<Recorded> gCalls;

VstIntPtr VSTCALLBACK RecordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*,
                                    float opt) {
    gCalls.push_back({opcode, index, opt});
    return 0;
}

struct Instance {
    Instance() : plug(std::make_unique<Brightfall>(&RecordingHost)) { gCalls.clear(); }
    IGraphics& Editor() { return *static_cast<IGraphics*>(plug->GetEditor()); }
    std::unique_ptr<Brightfall> plug;
};

Pixel At(const LICE_IBitmap& b, int x, int y) {
    const int row = b.IsFlipped() ? b.Height() - 1 - y : y;
    return b.Bits()[row * b.RowSpan() + x];
}

}  // namespace

TEST(EditorLayout, BackgroundAndTwoKnobsInARow) {
    Instance inst;
    IGraphics& g = inst.Editor();
    EXPECT_EQ(inst.plug->GetAEffect()->flags, 0x1039);
    ASSERT_EQ(g.NControls(), 3);
    EXPECT_EQ(g.GetControl(0)->DrawRect(), IRect(0, 0, 404, 250));
    EXPECT_EQ(g.GetControl(0)->ParamIdx(), -1);
    EXPECT_EQ(g.GetControl(0)->Blend().kind, IBlend::kCopy);
    EXPECT_EQ(g.GetControl(1)->DrawRect(), IRect(69, 128, 133, 192));
    EXPECT_EQ(g.GetControl(1)->ParamIdx(), 0);
    EXPECT_EQ(g.GetControl(2)->DrawRect(), IRect(270, 128, 334, 192));
    EXPECT_EQ(g.GetControl(2)->ParamIdx(), 1);
    auto* knob = dynamic_cast<IKnobMultiControl*>(g.GetControl(1));
    ASSERT_NE(knob, nullptr);
    EXPECT_EQ(knob->Strip().width, 64);
    EXPECT_EQ(knob->Strip().height, 1984);
    EXPECT_EQ(knob->Strip().frames, 31);
    EXPECT_EQ(knob->Gearing(), 4.0);
    EXPECT_EQ(knob->DefaultValue(), 0.5);

    EXPECT_EQ(g.ControlIndexAt(69, 128), 1);
    EXPECT_EQ(g.ControlIndexAt(133, 128), 0);
    EXPECT_EQ(g.ControlIndexAt(269, 150), 0);

    ERect* rect = nullptr;
    AEffect* e = inst.plug->GetAEffect();
    EXPECT_EQ(e->dispatcher(e, effEditGetRect, 0, 0, &rect, 0.0f), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right, 404);
    EXPECT_EQ(rect->bottom, 250);
}

TEST(EditorLayout, ComposedPictureIsTheBackgroundWithTheRightKnobFrames) {
    Instance inst;
    AEffect* e = inst.plug->GetAEffect();
    e->setParameter(e, 0, 0.0f);  // Wet/Dry 0: frame 1
    e->setParameter(e, 1, 1.0f);  // Sustain 100: frame 31
    IGraphics& g = inst.Editor();
    g.MarkAllControlsChanged();
    g.RedrawRegion(IRect(0, 0, 404, 250));

    // The expected picture, composed independently from the same images.
    const LICE_IBitmap* knobStrip =
        g.LoadImage(Brightfall::kKnobStripId, Brightfall::kKnobStripName, 31).bitmap;
    const LICE_IBitmap* backImage =
        g.LoadImage(Brightfall::kBackgroundId, Brightfall::kBackgroundName, 1).bitmap;
    ASSERT_NE(knobStrip, nullptr);
    ASSERT_NE(backImage, nullptr);
    LICE_MemBitmap expected(404, 250);
    LICE_BlitBitmap(&expected, backImage, 0, 0, nullptr, 1.0f, LICE_BLEND_COPY);
    LICE_Rect first{0, 0, 64, 64}, last{0, 1920, 64, 1984};
    LICE_BlitBitmap(&expected, knobStrip, 69, 128, &first, 1.0f, LICE_BLEND_USE_SOURCE_ALPHA);
    LICE_BlitBitmap(&expected, knobStrip, 270, 128, &last, 1.0f, LICE_BLEND_USE_SOURCE_ALPHA);

    int differing = 0;
    for (int y = 0; y < 250; ++y)
        for (int x = 0; x < 404; ++x)
            differing += At(*g.Offscreen(), x, y) != At(expected, x, y);
    EXPECT_EQ(differing, 0);
    // The knobs really differ between the two frames.
    int knobDiff = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            knobDiff += At(*g.Offscreen(), 69 + x, 128 + y) != At(*g.Offscreen(), 270 + x, 128 + y);
    EXPECT_GT(knobDiff, 50);
}

TEST(EditorLayout, KnobDragReachesTheHostAsOneGesture) {
    Instance inst;
    IGraphics& g = inst.Editor();
    IModifierKeys left;
    left.left = true;
    g.MouseDown(300, 160, left);
    g.MouseDrag(300, 152, left);
    g.MouseDrag(300, 144, left);
    g.MouseUp(300, 600, IModifierKeys());
    ExpectTwoStepDragGesture(gCalls, 1);
    EXPECT_DOUBLE_EQ(inst.plug->GetParam(1)->Value(), 50.0 + 100.0 * 16.0 / 256.0);
    EXPECT_FLOAT_EQ(inst.plug->Engine().getSustain(), static_cast<float>((50.0 + 6.25) / 100.0));

    // A restored state moves the knob; a double click brings it back to the
    // default it had when the editor was built.
    AEffect* e = inst.plug->GetAEffect();
    double chunk[2] = {10.0, 90.0};
    e->dispatcher(e, effSetChunk, 0, sizeof(chunk), chunk, 0.0f);
    EXPECT_DOUBLE_EQ(g.GetControl(2)->Value(), 0.9);
    g.MouseDoubleClick(300, 160, left);
    EXPECT_EQ(inst.plug->GetParam(1)->Value(), 50.0);
}
