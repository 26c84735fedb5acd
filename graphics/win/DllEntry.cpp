// The library's entry function: records the module instance, whose
// resources hold the editor's images and which owns the window class.
#include <windows.h>

#include "graphics/win/IGraphicsWin.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID) {
    IGraphicsWin::SetLibraryInstance(instance);
    return TRUE;
}
