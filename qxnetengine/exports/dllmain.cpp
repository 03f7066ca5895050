#if defined(_WIN32)
#include <windows.h>

// Nothing to do at load or unload beyond the static objects.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif
