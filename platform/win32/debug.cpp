#include "platform/debug.h"

#include <windows.h>

namespace qxplat {

void DebugOutput(const char* text) { OutputDebugStringA(text); }

}  // namespace qxplat
