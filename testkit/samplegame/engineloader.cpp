#include "samplegame/engineloader.h"

#include <chrono>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
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
template <typename T>
T Find(const char* name)
{
    return reinterpret_cast<T>(dlsym(g_hEngine, name));
}
#endif

}  // namespace

bool LoadEngine(TEngineExports* e)
{
#ifdef _WIN32
    g_hEngine = LoadLibraryA("QXNetEngine.dll");
#else
    g_hEngine = dlopen(QX_ENGINE_LIB, RTLD_NOW | RTLD_LOCAL);
#endif
    if (!g_hEngine)
        return false;
    e->Init = Find<PFN_QXNetEngine_Init>("QXNetEngine_Init");
    e->Uninit = Find<PFN_QXNetEngine_Uninit>("QXNetEngine_Uninit");
    e->GameClientGet = Find<PFN_QXGameClient_Get>("QXGameClient_Get");
#ifndef _WIN32
    g_pfnPump = Find<PFN_QXNetEngine_Pump>("QXNetEngine_Pump");
    if (!g_pfnPump)
        return false;
#endif
    return e->Init && e->Uninit && e->GameClientGet;
}

#ifndef _WIN32
int Pump(int timeoutMs) { return g_pfnPump(timeoutMs); }
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
