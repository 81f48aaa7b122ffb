// The module's entry point: nothing to set up or tear down.
#include "../platform.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
