// The one place the LV2 binaries choose which plug-in class to build:
// defined by the plug-in itself, called by instantiate (DSP binary) and by
// the UI's instantiate (UI binary) on the host's instantiation thread.
#pragma once

class IPlugLV2;

// A new plug-in object owned by the caller, or null.
IPlugLV2* CreateLV2PluginInstance();
// The same for the UI binary: the parameters and the editor, with nothing
// that makes or processes audio.
IPlugLV2* CreateLV2EditorInstance();
