// The editor core driven as a window would drive it: rectangles, hit tests,
// knob drags, the wheel, double clicks, gestures seen by the plug-in, frame
// selection, the image cache, and which regions get redrawn when.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "graphics/IBitmapControl.h"
#include "graphics/IGraphicsHeadless.h"
#include "graphics/IKnobMultiControl.h"
#include "graphics/ImageCache.h"
#include "render/LICE_MemBitmap.h"
#include "tests/framework/TestPlug.h"

namespace {

// A plug-in that records the gestures and values the editor sends it.
class GesturePlug : public TestPlug {
  public:
    void BeginParameterGesture(int index) override {
        log.push_back("begin " + std::to_string(index));
    }
    void EndParameterGesture(int index) override { log.push_back("end " + std::to_string(index)); }
    void ReportParameterToHost(int index, double v) override {
        log.push_back("set " + std::to_string(index));
        values.push_back(v);
    }
    std::vector<std::string> log;
    std::vector<double> values;
};

// Editor whose images are synthetic strips: frame k of image id is filled
// with the colour 0xFF000000 | (id << 8) | k, so a pixel tells which frame
// of which image was drawn. Counts decodes to check the cache.
class StripGraphics : public IGraphicsHeadless {
  public:
    using IGraphicsHeadless::IGraphicsHeadless;
    std::unique_ptr<LICE_IBitmap> LoadImageResource(int id, const char*) override {
        ++decodes;
        const bool back = id % 2 == 1;  // odd ids are backgrounds
        const int frames = back ? 1 : 31;
        auto bmp = std::make_unique<LICE_MemBitmap>(back ? 404 : 64, frames * (back ? 250 : 64));
        for (int y = 0; y < bmp->Height(); ++y) {
            const int frame = y / (bmp->Height() / frames);
            for (int x = 0; x < bmp->Width(); ++x)
                bmp->Bits()[y * bmp->RowSpan() + x] = 0xFF000000u | (id % 256) << 8 | frame;
        }
        return bmp;
    }
    int decodes = 0;
};

Pixel At(const IGraphics& g, int x, int y) {
    const LICE_IBitmap* b = g.Offscreen();
    const int row = b->IsFlipped() ? b->Height() - 1 - y : y;
    return b->Bits()[row * b->RowSpan() + x];
}

struct Editor {
    GesturePlug plug;
    StripGraphics* g = nullptr;
    std::unique_ptr<StripGraphics> owned;
    IKnobMultiControl* knob = nullptr;

    explicit Editor(int knobId = 9002, int backId = 9001) {
        owned = std::make_unique<StripGraphics>(&plug);
        g = owned.get();
        const IImageStrip strip = g->LoadImage(knobId, "knob.png", 31);
        g->SetBackground(backId, "back.png");
        auto k = std::make_unique<IKnobMultiControl>(&plug, IRect(69, 128, 133, 192), 0, strip);
        knob = k.get();
        g->AddControl(std::move(k));
        g->SetEditorParameter(0, 0.5, true);
        g->SetEditorParameter(1, 0.5, true);
        g->PrepareForDrawing();
    }
};

}  // namespace

TEST(Rect, UnionIntersectionAndTheInclusiveRightEdge) {
    const IRect empty, a(0, 0, 10, 10), b(5, 5, 20, 20);
    EXPECT_EQ(a.Union(empty), a);
    EXPECT_EQ(empty.Union(b), b);
    EXPECT_EQ(a.Union(b), IRect(0, 0, 20, 20));
    EXPECT_EQ(a.Intersection(b), IRect(5, 5, 10, 10));
    EXPECT_FALSE(a.Intersects(empty));
    // A repaint area ending at x = 69 still meets a control starting there;
    // one starting at 133 does not meet a control ending there.
    EXPECT_TRUE(IRect(0, 0, 69, 250).Intersects(IRect(69, 128, 133, 192)));
    EXPECT_FALSE(IRect(133, 0, 404, 250).Intersects(IRect(69, 128, 133, 192)));
    EXPECT_FALSE(IRect(0, 0, 0, 5).Empty());
}

TEST(Controls, HitTestsUseExclusiveEdgesAndSkipHiddenOrDisabled) {
    Editor e;
    EXPECT_EQ(e.g->ControlIndexAt(69, 128), 1);
    EXPECT_EQ(e.g->ControlIndexAt(132, 191), 1);
    EXPECT_EQ(e.g->ControlIndexAt(133, 128), 0);
    EXPECT_EQ(e.g->ControlIndexAt(100, 192), 0);
    EXPECT_EQ(e.g->ControlIndexAt(500, 10), -1);
    e.knob->SetDisabled(true);
    EXPECT_EQ(e.g->ControlIndexAt(100, 150), 0);
    e.knob->SetDisabled(false);
    e.knob->SetHidden(true);
    EXPECT_EQ(e.g->ControlIndexAt(100, 150), 0);
}

TEST(Controls, DragIsRelativeGearedAndClamped) {
    Editor e;
    IModifierKeys left;
    left.left = true;
    e.g->MouseDown(100, 150, left);
    EXPECT_EQ(e.knob->Value(), 0.5) << "pressing does not move the knob";
    e.g->MouseDrag(100, 118, left);  // 32 pixels up
    EXPECT_DOUBLE_EQ(e.knob->Value(), 0.625);
    IModifierKeys fine = left;
    fine.shift = true;
    e.g->MouseDrag(100, 86, fine);
    EXPECT_DOUBLE_EQ(e.knob->Value(), 0.6375);
    e.g->MouseDrag(100, 86, left);  // same position: not delivered
    EXPECT_DOUBLE_EQ(e.knob->Value(), 0.6375);
    e.g->MouseDrag(100, -400, left);  // far past the top
    EXPECT_EQ(e.knob->Value(), 1.0);
    e.g->MouseDrag(100, -392, left);  // back down: leaves the end at once
    EXPECT_DOUBLE_EQ(e.knob->Value(), 1.0 - 8.0 / 256.0);
    e.g->MouseUp(900, 900, IModifierKeys());  // released far outside
    EXPECT_FALSE(e.g->HasCapture());

    ASSERT_GE(e.plug.log.size(), 3u);
    EXPECT_EQ(e.plug.log.front(), "begin 0");
    EXPECT_EQ(e.plug.log.back(), "end 0");
    EXPECT_EQ(e.plug.values.front(), 0.625);
    EXPECT_EQ(e.plug.values[2], 1.0);
    EXPECT_DOUBLE_EQ(e.plug.GetParam(0)->Value(), 100.0 * (1.0 - 8.0 / 256.0));
}

TEST(Controls, WheelDoubleClickAndDefaults) {
    Editor e;
    IModifierKeys none, ctrl;
    ctrl.control = true;
    e.g->MouseWheel(100, 150, none, 1);
    EXPECT_DOUBLE_EQ(e.knob->Value(), 0.51);
    e.g->MouseWheel(100, 150, ctrl, -2);
    EXPECT_DOUBLE_EQ(e.knob->Value(), 0.508);
    e.knob->ApplyPluginValue(0.995);
    e.g->MouseWheel(100, 150, none, 1);
    EXPECT_EQ(e.knob->Value(), 1.0);
    EXPECT_TRUE(e.plug.log.size() >= 3 && e.plug.log[0] == "set 0")
        << "the wheel begins no gesture";

    EXPECT_FALSE(e.g->MouseDoubleClick(100, 150, none));
    EXPECT_EQ(e.knob->Value(), 0.5) << "the first value received is the default";

    GesturePlug plug;
    IKnobMultiControl fresh(&plug, IRect(0, 0, 64, 64), 0, IImageStrip());
    fresh.MouseDoubleClick(1, 1, none);
    EXPECT_EQ(fresh.Value(), 0.0) << "no default known yet";
    EXPECT_TRUE(plug.log.empty());
    fresh.ApplyPluginValue(std::nan(""));
    fresh.ApplyPluginValue(0.25);
    EXPECT_EQ(fresh.Value(), 0.25) << "NaN is replaced by the next value";
}

TEST(Controls, PressesOutsideControlsAndUnmatchedReleasesSendNoGestures) {
    Editor e;
    e.g->MouseDown(500, 500, IModifierKeys());
    e.g->MouseDrag(501, 400, IModifierKeys());
    e.g->MouseUp(100, 150, IModifierKeys());  // release over the knob with nothing pressed
    EXPECT_TRUE(e.plug.log.empty());
    EXPECT_EQ(e.knob->Value(), 0.5);
    EXPECT_FALSE(e.g->KeyDown(100, 150, kKeySpace));
    EXPECT_FALSE(e.g->KeyDown(10, 10, kKeySpace));
}

TEST(Controls, ASecondPressClosesTheFirstGesture) {
    Editor e;
    e.g->MouseDown(100, 150, IModifierKeys());  // middle button: no release will come
    e.g->MouseDown(100, 150, IModifierKeys());
    e.g->MouseUp(100, 150, IModifierKeys());
    EXPECT_EQ(e.plug.log, (std::vector<std::string>{"begin 0", "end 0", "begin 0", "end 0"}));
}

TEST(Drawing, FrameSelectionFromValue) {
    Editor e;
    const Pixel knobBase = 0xFF000000u | (9002 % 256) << 8;
    for (auto [value, frame] : {std::pair{0.0, 0}, {0.5, 15}, {1.0, 30}, {0.49, 15}, {0.01, 0}}) {
        e.g->SetEditorParameter(0, value, true);
        e.g->RedrawAll();
        EXPECT_EQ(At(*e.g, 100, 150), knobBase | static_cast<Pixel>(frame)) << "value " << value;
    }
    EXPECT_EQ(At(*e.g, 10, 10), 0xFF000000u | (9001 % 256) << 8) << "background elsewhere";
    // Values in the plug-in's units are normalised with the parameter's range.
    e.g->SetEditorParameter(0, 150.0, false);
    EXPECT_EQ(e.knob->Value(), 1.0);
    e.g->SetEditorParameter(0, -3.0, false);
    EXPECT_EQ(e.knob->Value(), 0.0);
}

TEST(Drawing, OnlyChangedControlsAreRedrawnAndPluginChangesTwice) {
    Editor e;
    IRect dirty;
    EXPECT_TRUE(e.g->CollectDirtyArea(&dirty));
    EXPECT_EQ(dirty, IRect(0, 0, 404, 250));
    e.g->RedrawRegion(dirty);
    dirty = IRect();
    EXPECT_FALSE(e.g->CollectDirtyArea(&dirty)) << "nothing changed";

    // A value from the plug-in is drawn in two consecutive passes.
    e.g->SetEditorParameter(0, 0.8, true);
    for (int pass = 0; pass < 2; ++pass) {
        dirty = IRect();
        ASSERT_TRUE(e.g->CollectDirtyArea(&dirty)) << "pass " << pass;
        EXPECT_EQ(dirty, IRect(69, 128, 133, 192));
        e.g->RedrawRegion(dirty);
    }
    dirty = IRect();
    EXPECT_FALSE(e.g->CollectDirtyArea(&dirty));

    // A drag by the user is drawn once.
    e.g->MouseDown(100, 150, IModifierKeys());
    e.g->MouseDrag(100, 140, IModifierKeys());
    dirty = IRect();
    ASSERT_TRUE(e.g->CollectDirtyArea(&dirty));
    e.g->RedrawRegion(dirty);
    dirty = IRect();
    EXPECT_FALSE(e.g->CollectDirtyArea(&dirty));
    EXPECT_EQ(e.g->LastPresented(), IRect(69, 128, 133, 192));
}

TEST(Drawing, BlitsAreClippedToTheRegionBeingRedrawn) {
    Editor e;
    e.g->RedrawAll();
    e.g->SetEditorParameter(0, 1.0, true);
    e.g->RedrawRegion(IRect(69, 128, 100, 192));  // left half of the knob only
    const Pixel knobBase = 0xFF000000u | (9002 % 256) << 8;
    EXPECT_EQ(At(*e.g, 99, 150), knobBase | 30u);
    EXPECT_EQ(At(*e.g, 100, 150), knobBase | 15u) << "outside the region: untouched";
}

TEST(ImageCacheSharing, EachImageIsDecodedOncePerProcess) {
    Editor first(7002, 7003), second(7002, 7003);
    EXPECT_EQ(first.g->decodes + second.g->decodes, 2) << "one knob strip, one background";
    bool found = false;
    EXPECT_NE(ImageCache::Instance().Find(7002, &found), nullptr);
    EXPECT_TRUE(found);

    // A resource that cannot be loaded is cached as missing and draws nothing.
    GesturePlug plug;
    IGraphicsHeadless headless(&plug);
    const IImageStrip none = headless.LoadImage(4242, "missing.png", 31);
    EXPECT_EQ(none.bitmap, nullptr);
    EXPECT_EQ(none.width, 0);
    ImageCache::Instance().Find(4242, &found);
    EXPECT_TRUE(found);
}
