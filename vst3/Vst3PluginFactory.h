// What the VST 3 module needs from the plug-in itself, defined by the
// plug-in: its class's identity for the factory, and new instances. Called
// by the factory on any host thread.
#pragma once

class IPlugVST3;

struct Vst3ClassFacts {
    // The class id as 32 hex digits, its 16 bytes in order. Hosts store it
    // in every session: chosen once, never to change.
    const char* classIdHex;
    const char* name;
    const char* vendor;
    const char* version;        // "1.0.0"
    const char* subCategories;  // "|"-separated, "Fx|Reverb"
};

const Vst3ClassFacts& Vst3PluginClass();
// A new plug-in object with one reference, owned by the caller, or null.
IPlugVST3* CreateVST3PluginInstance();
