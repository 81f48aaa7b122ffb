// The module's entry point: nothing to set up or tear down.
#include "windows_api.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
