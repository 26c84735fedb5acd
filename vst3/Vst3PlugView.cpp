#include "vst3/Vst3PlugView.h"

#include <cstring>

#include "vst3/IPlugVST3.h"

using namespace vst3;

Vst3PlugView::Vst3PlugView(IPlugVST3& plug) : mPlug(plug) {
    mPlug.addRef();
}

Vst3PlugView::~Vst3PlugView() {
    mPlug.ViewGone(this);
    mPlug.release();
}

tresult PLUGIN_API Vst3PlugView::queryInterface(const TUID id, void** obj) {
    if (!obj)
        return kInvalidArgument;
    void* found = nullptr;
    if (FUnknown::iid.Matches(id) || IPlugView::iid.Matches(id))
        found = static_cast<IPlugView*>(this);
    else if (linux_ui::ITimerHandler::iid.Matches(id))
        found = static_cast<linux_ui::ITimerHandler*>(this);
    *obj = found;
    if (!found)
        return kNoInterface;
    addRef();
    return kResultOk;
}

uint32 PLUGIN_API Vst3PlugView::addRef() {
    return ++mRefs;
}

uint32 PLUGIN_API Vst3PlugView::release() {
    const uint32 left = --mRefs;
    if (left != 0)
        return left;
    try {
        if (mAttached)
            removed();
        delete this;
    } catch (...) {
    }
    return 0;
}

tresult PLUGIN_API Vst3PlugView::isPlatformTypeSupported(FIDString type) {
#if defined(_WIN32)
    return type && std::strcmp(type, kPlatformTypeHWND) == 0 ? kResultTrue : kResultFalse;
#elif defined(__linux__)
    return type && std::strcmp(type, kPlatformTypeX11EmbedWindowID) == 0 ? kResultTrue
                                                                         : kResultFalse;
#else
    (void)type;
    return kResultFalse;
#endif
}

tresult PLUGIN_API Vst3PlugView::attached(void* parent, FIDString type) {
    if (!parent || isPlatformTypeSupported(type) != kResultTrue)
        return kResultFalse;
    if (mAttached)
        return kResultFalse;
    try {
        {
            IPlugBase::Lock lock(mPlug.GetMutex());
            IEditor* editor = mPlug.GetEditor();
            if (!editor || !editor->OpenEditorWindow(parent))
                return kResultFalse;
            mPlug.OnEditorOpened();
        }
        mAttached = true;
        // The editor keeps a thread of its own for hosts that never call
        // back; a host with a run loop gets the work on its UI thread too,
        // and the edits made on the editor's thread delivered there.
        void* loop = nullptr;
        if (mFrame && mFrame->queryInterface(linux_ui::IRunLoop::iid.bytes, &loop) == kResultOk &&
            loop) {
            mRunLoop = static_cast<linux_ui::IRunLoop*>(loop);
            if (mRunLoop->registerTimer(this, kTimerMs) == kResultOk) {
                mPlug.RouteEditsThroughUiThread(true);
            } else {
                mRunLoop->release();
                mRunLoop = nullptr;
            }
        }
        return kResultOk;
    } catch (...) {
        return kInternalError;
    }
}

tresult PLUGIN_API Vst3PlugView::removed() {
    if (!mAttached)
        return kResultFalse;
    try {
        if (mRunLoop) {
            mRunLoop->unregisterTimer(this);
            mRunLoop->release();
            mRunLoop = nullptr;
        }
        {
            IPlugBase::Lock lock(mPlug.GetMutex());
            if (IEditor* editor = mPlug.GetEditor()) {
                mPlug.OnEditorClosed();
                editor->CloseEditorWindow();
            }
        }
        // The gesture a close ends, and anything still queued, go out now.
        mPlug.RouteEditsThroughUiThread(false);
        mAttached = false;
        return kResultOk;
    } catch (...) {
        return kInternalError;
    }
}

ViewRect Vst3PlugView::EditorRect() const {
    ViewRect rect{0, 0, 0, 0};
    IPlugBase::Lock lock(mPlug.GetMutex());
    if (const IEditor* editor = mPlug.GetEditor()) {
        rect.right = editor->Width();
        rect.bottom = editor->Height();
    }
    return rect;
}

tresult PLUGIN_API Vst3PlugView::getSize(ViewRect* size) {
    if (!size)
        return kInvalidArgument;
    try {
        *size = EditorRect();
        return kResultOk;
    } catch (...) {
        return kInternalError;
    }
}

tresult PLUGIN_API Vst3PlugView::onSize(ViewRect* newSize) {
    if (!newSize)
        return kInvalidArgument;
    try {
        // The editor has one size: the host's frame is told so by the answer.
        const ViewRect rect = EditorRect();
        return newSize->right - newSize->left == rect.right &&
                       newSize->bottom - newSize->top == rect.bottom
                   ? kResultTrue
                   : kResultFalse;
    } catch (...) {
        return kInternalError;
    }
}

tresult PLUGIN_API Vst3PlugView::setFrame(IPlugFrame* frame) {
    mFrame = frame;
    return kResultOk;
}

tresult PLUGIN_API Vst3PlugView::checkSizeConstraint(ViewRect* rect) {
    if (!rect)
        return kInvalidArgument;
    try {
        const ViewRect size = EditorRect();
        rect->right = rect->left + size.right;
        rect->bottom = rect->top + size.bottom;
        return kResultTrue;
    } catch (...) {
        return kInternalError;
    }
}

void PLUGIN_API Vst3PlugView::onTimer() {
    try {
        {
            IPlugBase::Lock lock(mPlug.GetMutex());
            if (IEditor* editor = mPlug.GetEditor())
                editor->Idle();
        }
        mPlug.DeliverQueuedEdits();
        // A knob's Sustain is prepared here, once the mutex is free.
        mPlug.RunPendingChanges();
    } catch (...) {
    }
}
