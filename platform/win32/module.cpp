#include "platform/platform.h"

#include <windows.h>

namespace qxplat {

void* LibraryModule() { return GetModuleHandleA("QXNetEngine.DLL"); }

void DebugOutput(const char* text) { OutputDebugStringA(text); }

}  // namespace qxplat
