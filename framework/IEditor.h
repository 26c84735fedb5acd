// What the plug-in base and the host adapter see of an editor: the few
// operations they call on it. The graphics context implements it; the
// framework builds and runs with no editor at all.
#pragma once

class IEditor {
  public:
    virtual ~IEditor() = default;

    // Tells the editor a parameter's value: normalised in [0, 1], or in the
    // parameter's own units. [any thread, plug-in mutex held]
    virtual void SetEditorParameter(int index, double value, bool normalised) = 0;
    // Composes the initial picture before the first window opens.
    virtual void PrepareForDrawing() = 0;
    // Opens the editor's window inside the host's window; false on failure.
    virtual bool OpenEditorWindow(void* parentWindow) = 0;
    virtual void CloseEditorWindow() = 0;
    // The host's periodic editor call: a window that keeps no thread of its
    // own, or wants to work on the host's interface thread when the host
    // offers it, does its work here. [host UI thread, plug-in mutex held]
    virtual void Idle() {}
    virtual int Width() const = 0;
    virtual int Height() const = 0;
};
