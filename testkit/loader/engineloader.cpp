#include "engineloader.h"

#include <chrono>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
HMODULE g_hEngine = nullptr;
template <typename T>
T Find(const char* name)
{
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(g_hEngine, name)));
}
#else
void* g_hEngine = nullptr;
PFN_QXNetEngine_Pump g_pfnPump = nullptr;
PFN_QXNetEngine_GetPollFd g_pfnGetPollFd = nullptr;
template <typename T>
T Find(const char* name)
{
    return reinterpret_cast<T>(dlsym(g_hEngine, name));
}

std::string ProgramDir()
{
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return "./";
    std::string p(path, static_cast<size_t>(n));
    return p.substr(0, p.rfind('/') + 1);
}
#endif

std::string DirOf(const std::string& file)
{
    size_t cut = file.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : file.substr(0, cut + 1);
}

}  // namespace

std::string MessageBody(unsigned short module, unsigned short msg, const std::string& payload)
{
    const char head[4] = {static_cast<char>(module & 0xFF), static_cast<char>(module >> 8),
                          static_cast<char>(msg & 0xFF), static_cast<char>(msg >> 8)};
    return std::string(head, 4) + payload;
}

bool LoadEngine(TEngineExports* e)
{
#ifdef _WIN32
    g_hEngine = LoadLibraryA("QXNetEngine.dll");
#else
    g_hEngine = dlopen((ProgramDir() + "libqxnetengine.so").c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
    if (!g_hEngine)
        return false;
    e->Init = Find<PFN_QXNetEngine_Init>("QXNetEngine_Init");
    e->Uninit = Find<PFN_QXNetEngine_Uninit>("QXNetEngine_Uninit");
    e->NetEngineGet = Find<PFN_QXNetEngine_Get>("QXNetEngine_Get");
    e->GameClientGet = Find<PFN_QXGameClient_Get>("QXGameClient_Get");
#ifndef _WIN32
    g_pfnPump = Find<PFN_QXNetEngine_Pump>("QXNetEngine_Pump");
    g_pfnGetPollFd = Find<PFN_QXNetEngine_GetPollFd>("QXNetEngine_GetPollFd");
    if (!g_pfnPump || !g_pfnGetPollFd)
        return false;
#endif
    return e->Init && e->Uninit && e->NetEngineGet && e->GameClientGet;
}

std::string EngineDir()
{
    if (!g_hEngine)
        return std::string();
#ifdef _WIN32
    char path[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameA(g_hEngine, path, MAX_PATH);
    return n == 0 || n >= MAX_PATH ? std::string() : DirOf(path);
#else
    Dl_info info;
    void* sym = reinterpret_cast<void*>(g_pfnPump);
    return dladdr(sym, &info) && info.dli_fname ? DirOf(info.dli_fname) : std::string();
#endif
}

#ifndef _WIN32
int Pump(int timeoutMs) { return g_pfnPump(timeoutMs); }
int GetPollFd() { return g_pfnGetPollFd(); }
#endif

bool RunMessageLoopUntil(bool (*done)(void*), void* ctx, int timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done(ctx)) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0)
            return false;
#ifdef _WIN32
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left < 50 ? left : 50),
                                  QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
#else
        g_pfnPump(static_cast<int>(left < 50 ? left : 50));
#endif
    }
    return true;
}
