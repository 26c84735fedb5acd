// The one place the module chooses which plug-in class to build: defined by
// the plug-in itself, called by the entry point under the instantiation lock.
#pragma once

#include "vst2/VstAbi.h"

class IPlugVST;

// Returns a new plug-in object owned by the host through its AEffect record
// (effClose destroys it), or null.
IPlugVST* CreatePluginInstance(audioMasterCallback host);
