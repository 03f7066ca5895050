#pragma once

#include "common/msgsocket/sockbase.h"
#include "common/msgsocket/sockbuffer.h"

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

    // Keeps the object alive while one of its calls is on the stack: a
    // DeleteLater meanwhile (an owner released from inside its own
    // notification) takes effect when the outermost call leaves.
    void EnterCall() { ++m_nCallDepth; }
    void LeaveCall()
    {
        if (--m_nCallDepth == 0 && m_bDeletePending)
            delete this;
    }
    void DeleteLater()
    {
        if (m_nCallDepth > 0)
            m_bDeletePending = true;
        else
            delete this;
    }
    bool IsDeletePending() const { return m_bDeletePending; }

    int GetState() const { return m_nState; }
    const sockaddr_in& GetAddress() const { return m_Addr; }

    // The socket window's handler for WM_SOCKET_EVENT and WM_TIMER; false
    // sends the message on to the default window procedure.
    static bool HandleSocketEvent(unsigned int msg, uintptr_t wParam, intptr_t lParam);

private:
    CMsgSocket(const CMsgSocket&) = delete;
    CMsgSocket& operator=(const CMsgSocket&) = delete;

    bool DispatchEvent(unsigned int msg, intptr_t lParam);
    void OnConnectEvent(bool success);
    void OnReadEvent();
    void OnAcceptEvent();
    void OnReconnectTimer();

    CSockBuffer m_RecvBuf;
    int m_nState;  // 1 connected, 2 failed or closed by the peer, 0 neither
    sockaddr_in m_Addr;
    CSockBuffer m_SendBuf;
    std::string m_strAddr;
    unsigned short m_nPort;
    int m_nAttempts;
    int m_nCallDepth;
    bool m_bDeletePending;
};

// The process-wide socket window. InitSockWnd starts Windows Sockets and
// creates the window once; later calls do nothing.
void InitSockWnd(void* moduleInstance);
void DestroySockWnd();
// Destroys the window and closes every registered socket with notification.
void ShutdownSockets();
// The window handle, for tests; null before InitSockWnd.
qxplat::HiddenWnd* GetSockWnd();
