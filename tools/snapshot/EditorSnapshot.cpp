#include "tools/snapshot/EditorSnapshot.h"

#include <cstring>
#include <memory>

#include "graphics/IGraphics.h"
#include "plugin/Brightfall.h"
#include "tools/snapshot/PngWriter.h"

bool WriteEditorSnapshot(const std::vector<unsigned char>& chunk,
                         const std::vector<float>& normalised, const std::string& path,
                         std::string* error) {
    auto plug = std::make_unique<Brightfall>(nullptr);
    auto* editor = static_cast<IGraphics*>(plug->GetEditor());
    if (!editor || !editor->Offscreen()) {
        if (error)
            *error = "the plug-in has no editor to draw";
        return false;
    }
    AEffect* e = plug->GetAEffect();
    if (!chunk.empty()) {
        std::vector<unsigned char> bytes(chunk);  // the dispatcher takes a writable pointer
        if (e->dispatcher(e, effSetChunk, 0, static_cast<VstIntPtr>(bytes.size()), bytes.data(),
                          0.0f) != 1) {
            if (error)
                *error = "the plug-in refused the settings for its editor";
            return false;
        }
    } else {
        for (std::size_t i = 0; i < normalised.size(); ++i)
            e->setParameter(e, static_cast<VstInt32>(i), normalised[i]);
    }
    editor->MarkAllControlsChanged();
    editor->RedrawRegion(IRect(0, 0, editor->Width(), editor->Height()));
    return WritePng(*editor->Offscreen(), path, error);
}

bool WriteEditorSnapshot(double wet, double sustain, const std::string& path, std::string* error) {
    std::vector<unsigned char> chunk(sizeof(double) * 2);
    const double values[2] = {wet, sustain};
    std::memcpy(chunk.data(), values, sizeof(values));
    return WriteEditorSnapshot(chunk, {}, path, error);
}
