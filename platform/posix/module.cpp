#include "platform/platform.h"

#include <cstdio>

namespace qxplat {

void* LibraryModule() { return nullptr; }

void DebugOutput(const char* text) { fputs(text, stderr); }

}  // namespace qxplat
