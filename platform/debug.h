#pragma once

namespace qxplat {

// A diagnostic line for a developer: the debugger output on Windows,
// standard error on POSIX.
void DebugOutput(const char* text);

}  // namespace qxplat
