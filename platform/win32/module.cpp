#include "platform/platform.h"

#include <windows.h>

namespace qxplat {

void* LibraryModule() { return GetModuleHandleA("QXNetEngine.DLL"); }

std::string ModuleDir(void* module)
{
    char path[260] = {};
    GetModuleFileNameA(static_cast<HMODULE>(module), path, sizeof path);
    std::string dir(path);
    size_t slash = dir.find_last_of('\\');
    return slash == std::string::npos ? std::string() : dir.substr(0, slash + 1);
}

void GetLocalTimeNow(TLocalTime* t)
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    *t = TLocalTime{st.wYear,   st.wMonth,  st.wDay,         st.wHour,
                    st.wMinute, st.wSecond, st.wMilliseconds};
}

void DebugOutput(const char* text) { OutputDebugStringA(text); }

}  // namespace qxplat
