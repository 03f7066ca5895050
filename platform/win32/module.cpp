#include "platform/platform.h"

#include <windows.h>

namespace qxplat {

void* LibraryModule() { return GetModuleHandleA("QXNetEngine.DLL"); }

}  // namespace qxplat
