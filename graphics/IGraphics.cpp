#include "graphics/IGraphics.h"

#include <algorithm>
#include <cmath>

#include "framework/IPlugBase.h"
#include "graphics/IBitmapControl.h"
#include "graphics/ImageCache.h"
#include "render/LICE_BlitBitmap.h"

IGraphics::IGraphics(IPlugBase* plug, int width, int height, int frameRate)
    : mPlug(plug), mWidth(width), mHeight(height), mFrameRate(frameRate) {}

IGraphics::~IGraphics() {
    while (!mControls.empty())
        mControls.pop_back();
    mOffscreen.reset();
}

IControl* IGraphics::GetControl(int index) const {
    if (index < 0 || index >= NControls())
        return nullptr;
    return mControls[index].get();
}

void IGraphics::SetEditorParameter(int paramIdx, double value, bool normalised) {
    if (!normalised) {
        const IParameter* param = mPlug ? mPlug->GetParam(paramIdx) : nullptr;
        if (!param)
            return;
        const double lo = param->Minimum(), hi = param->Maximum();
        const double v = value < lo ? lo : std::min(value, hi);
        value = std::pow((v - lo) / (hi - lo), 1.0 / param->Shape());
    }
    for (auto& control : mControls) {
        if (control->ParamIdx() == paramIdx)
            control->ApplyPluginValue(value);
    }
}

void IGraphics::PrepareForDrawing() {
    mOffscreen = std::make_unique<LICE_SysBitmap>(mWidth, mHeight);
}

const LICE_IBitmap* IGraphics::CachedImage(int resourceId, const char* name) {
    ImageCache& cache = ImageCache::Instance();
    bool found = false;
    const LICE_IBitmap* bitmap = cache.Find(resourceId, &found);
    if (found)
        return bitmap;
    // Decoded outside the cache lock; a failure is cached too, so a missing
    // image is looked for only once.
    return cache.Add(resourceId, LoadImageResource(resourceId, name));
}

IImageStrip IGraphics::LoadImage(int resourceId, const char* name, int frames) {
    IImageStrip strip;
    strip.bitmap = CachedImage(resourceId, name);
    // A missing image gives a strip of no size, which draws nothing.
    strip.width = strip.bitmap ? strip.bitmap->Width() : 0;
    strip.height = strip.bitmap ? strip.bitmap->Height() : 0;
    strip.frames = std::max(frames, 1);
    return strip;
}

void IGraphics::SetBackground(int resourceId, const char* name) {
    const IImageStrip strip = LoadImage(resourceId, name, 1);
    IBlend copy;
    copy.kind = IBlend::kCopy;
    auto background = std::make_unique<IBitmapControl>(
        mPlug, IRect(0, 0, strip.width, strip.height), -1, strip, copy);
    mControls.insert(mControls.begin(), std::move(background));
}

void IGraphics::AddControl(std::unique_ptr<IControl> control) {
    if (control)
        mControls.push_back(std::move(control));
}

bool IGraphics::RedrawRegion(const IRect& area) {
    if (mControls.empty())
        return true;
    mDrawRect = area;
    for (auto& control : mControls) {
        if (!control->IsHidden() && area.Intersects(control->DrawRect()))
            control->Render(*this);
        control->MarkDrawn();
    }
    return PresentRegion(area);
}

bool IGraphics::CollectDirtyArea(IRect* area) {
    bool found = false;
    for (auto& control : mControls) {
        if (control->NeedsRedraw()) {
            *area = area->Union(control->DrawRect());
            found = true;
        }
    }
    return found;
}

void IGraphics::MarkAllControlsChanged() {
    for (auto& control : mControls)
        control->MarkChanged(false);
}

bool IGraphics::BlitImage(const IImageStrip& strip, const IRect& rect, int srcx, int srcy,
                          const IBlend* blend) {
    const IRect clip = rect.Intersection(mDrawRect);
    int mode = LICE_BLEND_USE_SOURCE_ALPHA;
    float weight = 1.0f;
    if (blend) {
        mode = blend->kind == IBlend::kCopy ? LICE_BLEND_COPY : LICE_BLEND_USE_SOURCE_ALPHA;
        weight = blend->weight;
    }
    LICE_Rect src;
    src.left = srcx + clip.left - rect.left;
    src.top = srcy + clip.top - rect.top;
    src.right = srcx + clip.right - rect.left;
    src.bottom = srcy + clip.bottom - rect.top;
    if (clip.Empty() || !strip.bitmap || !mOffscreen)
        return true;
    LICE_BlitBitmap(mOffscreen.get(), strip.bitmap, clip.left, clip.top, &src, weight, mode);
    return true;
}

int IGraphics::ControlIndexAt(int x, int y) const {
    if (mCaptured >= 0)
        return mCaptured;
    for (int i = NControls() - 1; i >= 0; --i) {
        const IControl& c = *mControls[i];
        if (!c.IsHidden() && !c.IsDisabled() && c.Contains(x, y))
            return i;
    }
    return -1;
}

void IGraphics::ClearCapture() {
    mCaptured = -1;
    mLastMouseX = mLastMouseY = -1;
}

void IGraphics::MouseDown(int x, int y, const IModifierKeys& mods) {
    // A press while another is held (a second button) keeps the first
    // control's gesture open; close it before starting over.
    ReleaseCapture();
    const int index = ControlIndexAt(x, y);
    if (index < 0)
        return;
    mCaptured = index;
    mLastMouseX = x;
    mLastMouseY = y;
    IControl* control = mControls[index].get();
    if (control->ParamIdx() >= 0 && mPlug)
        mPlug->BeginParameterGesture(control->ParamIdx());
    control->MouseDown(x, y, mods);
}

void IGraphics::MouseDrag(int x, int y, const IModifierKeys& mods) {
    if (mCaptured < 0 || (x == mLastMouseX && y == mLastMouseY))
        return;
    const int dx = x - mLastMouseX, dy = y - mLastMouseY;
    mLastMouseX = x;
    mLastMouseY = y;
    mControls[mCaptured]->MouseDrag(x, y, dx, dy, mods);
}

void IGraphics::MouseUp(int x, int y, const IModifierKeys& mods) {
    // Only a release that ends a press closes a gesture: the release that
    // follows a double click began none, and hosts track these in pairs.
    const bool endsPress = mCaptured >= 0;
    const int index = ControlIndexAt(x, y);
    ClearCapture();
    if (index < 0)
        return;
    IControl* control = mControls[index].get();
    control->MouseUp(x, y, mods);
    if (endsPress && control->ParamIdx() >= 0 && mPlug)
        mPlug->EndParameterGesture(control->ParamIdx());
}

void IGraphics::ReleaseCapture() {
    if (mCaptured < 0)
        return;
    IControl* control = mControls[mCaptured].get();
    ClearCapture();
    if (control->ParamIdx() >= 0 && mPlug)
        mPlug->EndParameterGesture(control->ParamIdx());
}

bool IGraphics::MouseDoubleClick(int x, int y, const IModifierKeys& mods) {
    ReleaseCapture();
    const int index = ControlIndexAt(x, y);
    if (index >= 0)
        mControls[index]->MouseDoubleClick(x, y, mods);
    return false;
}

void IGraphics::MouseWheel(int x, int y, const IModifierKeys& mods, int steps) {
    const int index = ControlIndexAt(x, y);
    if (index >= 0)
        mControls[index]->MouseWheel(x, y, mods, steps);
}

bool IGraphics::KeyDown(int x, int y, int key) {
    const int index = ControlIndexAt(x, y);
    return index > 0 ? mControls[index]->KeyDown(x, y, key) : false;
}
