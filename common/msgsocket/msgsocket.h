#pragma once

#include "common/msgsocket/sockbase.h"
#include "common/msgsocket/sockbuffer.h"
#include "platform/sockaddr.h"
#include "platform/wnd.h"

#include <atomic>
#include <cstdint>
#include <string>

// Notification message of the socket window: wParam = socket handle,
// low word of lParam = event, high word = error code.
const unsigned int WM_SOCKET_EVENT = qxplat::kWmUser + 0x100;

// Non-blocking TCP connection driven by the socket window's notifications.
// Lives on the thread that owns the socket window; it has no lock.
class CMsgSocket : public CSockBase {
public:
    CMsgSocket(unsigned int recvCapacity, unsigned int sendCapacity);
    ~CMsgSocket() override;

    bool Listen(unsigned short port) override;
    bool Close() override;
    bool Shutdown() override;
    void Send(const char* data, unsigned int len) override;
    bool IsConnected() override;

    bool Connect(const char* addr, unsigned short port);
    bool ConnectEx(const char* addr, unsigned short port, int attempts);
    void CloseSocket(bool notify);

    // Keeps the object alive while one of its calls is on the stack, on any
    // thread: a DeleteLater meanwhile (an owner released from inside its own
    // notification) takes effect when the last such call leaves. The owner
    // holds one reference of its own, which DeleteLater gives up.
    void EnterCall() { m_nRefs.fetch_add(1, std::memory_order_relaxed); }
    void LeaveCall()
    {
        if (m_nRefs.fetch_sub(1, std::memory_order_acq_rel) == 1)
            delete this;
    }
    void DeleteLater()
    {
        if (!m_bDeletePending.exchange(true))
            LeaveCall();
    }
    bool IsDeletePending() const { return m_bDeletePending.load(); }

    int GetState() const { return m_nState; }
    const qxplat::TSockAddrV4& GetAddress() const { return m_Addr; }

    // The socket window's handler for WM_SOCKET_EVENT and WM_TIMER; false
    // sends the message on to the default window procedure.
    static bool HandleSocketEvent(unsigned int msg, uintptr_t wParam, intptr_t lParam);

protected:
    // Drops n received bytes at once, for an owner that copies them out
    // before it acts on them.
    void ConsumeReceived(unsigned int n) { m_RecvBuf.Consume(n); }
    // Free bytes of the send buffer: what one Send may add without the
    // overflow that closes, for an owner that streams more than fits.
    unsigned int SendRoom() const { return m_SendBuf.FreeSize(); }

    // A one-shot timer of the open handle, for an owner that must not wait
    // for ever (a peer that never answers): OnWatchdog runs once after ms
    // unless killed first. Closing the handle kills it.
    void SetWatchdog(unsigned int ms);
    void KillWatchdog();
    virtual void OnWatchdog() {}

private:
    CMsgSocket(const CMsgSocket&) = delete;
    CMsgSocket& operator=(const CMsgSocket&) = delete;

    bool DispatchEvent(unsigned int msg, intptr_t lParam);
    void OnConnectEvent(bool success);
    void OnReadEvent();
    void OnAcceptEvent();
    void OnReconnectTimer();
    static uintptr_t WatchdogId(qxplat::SockHandle h);

    CSockBuffer m_RecvBuf;
    int m_nState;  // 1 connected, 2 failed or closed by the peer, 0 neither
    qxplat::TSockAddrV4 m_Addr;
    CSockBuffer m_SendBuf;
    std::string m_strAddr;
    unsigned short m_nPort;
    int m_nAttempts;
    std::atomic<int> m_nRefs;
    std::atomic<bool> m_bDeletePending;
};

// The process-wide socket window. InitSockWnd starts Windows Sockets and
// creates the window once; later calls do nothing.
void InitSockWnd(void* moduleInstance);
void DestroySockWnd();
// Destroys the window and closes every registered socket with notification.
void ShutdownSockets();
// The window handle, for tests; null before InitSockWnd.
qxplat::HiddenWnd* GetSockWnd();
