#include "platform/paths.h"

#include <windows.h>

namespace qxplat {

const char kPathSep = '\\';

void* LibraryModule() { return GetModuleHandleA("QXNetEngine.DLL"); }

void PinLibraryModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCSTR>(&PinLibraryModule), &module);
}

std::string ModuleDir(void* module)
{
    char path[260] = {};
    GetModuleFileNameA(static_cast<HMODULE>(module), path, sizeof path);
    path[sizeof path - 1] = '\0';  // a cut path is not terminated on older systems
    std::string dir(path);
    size_t slash = dir.find_last_of('\\');
    return slash == std::string::npos ? std::string() : dir.substr(0, slash + 1);
}

}  // namespace qxplat
