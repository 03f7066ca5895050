#include "common/msgsocket/msgsocket.h"
#include "common/msgsocket/sockregistry.h"

namespace {

qxplat::HiddenWnd* g_hSockWnd = nullptr;

bool SockWndProc(unsigned int msg, uintptr_t wParam, intptr_t lParam)
{
    return CMsgSocket::HandleSocketEvent(msg, wParam, lParam);
}

}  // namespace

std::map<qxplat::SockHandle, CMsgSocket*>& SockRegistry()
{
    static std::map<qxplat::SockHandle, CMsgSocket*> registry;
    return registry;
}

qxplat::HiddenWnd* GetSockWnd() { return g_hSockWnd; }

bool IsSockWndThread() { return !g_hSockWnd || qxplat::IsWndThread(g_hSockWnd); }

void InitSockWnd(void* moduleInstance)
{
    qxplat::StartSockets();
    if (g_hSockWnd)
        return;
    g_hSockWnd =
        qxplat::CreateHiddenWnd(moduleInstance, "WSAASYNCSELECT_SOCKWND", "SockWnd", SockWndProc);
}

void DestroySockWnd()
{
    if (!g_hSockWnd)
        return;
    qxplat::DestroyHiddenWnd(g_hSockWnd);
    g_hSockWnd = nullptr;
}

void ShutdownSockets()
{
    DestroySockWnd();
    while (!SockRegistry().empty()) SockRegistry().begin()->second->CloseSocket(true);
}
