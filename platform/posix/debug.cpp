#include "platform/debug.h"

#include <cstdio>

namespace qxplat {

void DebugOutput(const char* text) { fputs(text, stderr); }

}  // namespace qxplat
