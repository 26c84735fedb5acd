#include "tools/EditorSnapshot.h"

#include <memory>

#include "graphics/IGraphics.h"
#include "plugin/Brightfall.h"
#include "tools/PngWriter.h"

bool WriteEditorSnapshot(double wet, double sustain, const std::string& path, std::string* error) {
    auto plug = std::make_unique<Brightfall>(nullptr);
    auto* editor = static_cast<IGraphics*>(plug->GetEditor());
    if (!editor || !editor->Offscreen()) {
        if (error)
            *error = "the plug-in has no editor to draw";
        return false;
    }
    AEffect* e = plug->GetAEffect();
    double values[2] = {wet, sustain};
    e->dispatcher(e, effSetChunk, 0, sizeof(values), values, 0.0f);
    editor->MarkAllControlsChanged();
    editor->RedrawRegion(IRect(0, 0, editor->Width(), editor->Height()));
    return WritePng(*editor->Offscreen(), path, error);
}
