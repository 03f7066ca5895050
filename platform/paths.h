#pragma once
// Where the library and the executable lie.

#include <string>

namespace qxplat {

// The path separator of file names on this platform.
extern const char kPathSep;

// The library's own module: QXNetEngine.dll on Windows (null when the code is
// linked into a program instead); on POSIX an address inside the shared
// object that holds the engine's code.
void* LibraryModule();

// Keeps the module that holds this code loaded for the life of the process,
// whatever unloads it: its windows and timers call into it until the end.
void PinLibraryModule();

// Directory of a module's file with its trailing separator; a null module
// means the process executable.
std::string ModuleDir(void* module);

// The directory of the engine's code (SvrAddr.ini and ResInfo lie there) and
// the executable's (the daily log), each with its trailing separator.
inline std::string LibraryDir() { return ModuleDir(LibraryModule()); }
inline std::string ExeDir() { return ModuleDir(nullptr); }

}  // namespace qxplat
