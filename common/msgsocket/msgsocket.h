#pragma once

#include "common/lock/lock.h"
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
// Posted to the socket window by a Send that closed the connection on another
// thread: wParam = the socket, which holds a reference until it is handled.
const unsigned int WM_SOCKET_SENDCLOSED = qxplat::kWmUser + 0x101;

// Non-blocking TCP connection driven by the socket window's notifications.
// Its notifications, the registry and the receive side live on the thread
// that owns the socket window. Send may come from any thread: the send
// buffer and the handle's use for sending are guarded by a lock of the
// socket's own, which is never held while anything outside the socket runs.
class CMsgSocket : public CSockBase {
public:
    CMsgSocket(unsigned int recvCapacity, unsigned int sendCapacity);
    ~CMsgSocket() override;

    bool Listen(unsigned short port) override;
    bool Close() override;
    bool Shutdown() override;
    void Send(const char* data, unsigned int len) override;
    bool IsConnected() override;
    // A Send on another thread found no room and ended the connection; the
    // handle is not closed yet.
    bool IsSendClosed();

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

    int GetState() const { return m_nState.load(); }
    // Bytes waiting in the send buffer for the network to take them.
    unsigned int GetSendQueued();
    const qxplat::TSockAddrV4& GetAddress() const { return m_Addr; }

    // The socket window's handler for WM_SOCKET_EVENT and WM_TIMER; false
    // sends the message on to the default window procedure.
    static bool HandleSocketEvent(unsigned int msg, uintptr_t wParam, intptr_t lParam);

protected:
    // A Send on a thread other than the socket window's found no room and
    // has ended the connection: nothing more leaves, and the handle is
    // closed (with OnClose) on the window's thread on its next turn. Runs on
    // the sending thread, inside that Send.
    virtual void OnSendClosed() {}
    // During OnClose: the connection was ended by such a Send, whose
    // OnSendClosed has told (or is telling) the owner already.
    bool IsClosedBySend() const { return m_bClosedBySend; }

    // Drops n received bytes at once, for an owner that copies them out
    // before it acts on them.
    void ConsumeReceived(unsigned int n) { m_RecvBuf.Consume(n); }
    // Free bytes of the send buffer: what one Send may add without the
    // overflow that closes, for an owner that streams more than fits.
    unsigned int SendRoom();
    // The network took queued bytes after a full moment: an owner that
    // streams more than fits adds its next part here.
    virtual void OnSendRoom() {}

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
    // Sends what the buffer holds until the network takes no more; the
    // caller holds m_SendLock.
    void Flush();
    void OnSendClosedEvent();
    void SetHandle(qxplat::SockHandle h);
    void OnConnectEvent(bool success);
    void OnReadEvent();
    // Everything still waiting on the handle, before its close is handled.
    void ReadRemaining();
    void OnAcceptEvent();
    void OnReconnectTimer();
    static uintptr_t WatchdogId(qxplat::SockHandle h);

    CSockBuffer m_RecvBuf;
    // 1 connected, 2 failed or closed, 0 neither; read by senders.
    std::atomic<int> m_nState;
    qxplat::TSockAddrV4 m_Addr;
    // Guards m_SendBuf, m_bSendClosed and, against the sending threads, the
    // handle: it changes only on the window's thread, under this lock.
    CCritSection m_SendLock;
    CSockBuffer m_SendBuf;
    bool m_bSendClosed;  // a Send on another thread ended the connection
    std::string m_strAddr;
    unsigned short m_nPort;
    int m_nAttempts;
    bool m_bClosedBySend;  // window's thread only, set during OnClose
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
// True on the thread that owns the socket window, and anywhere while there
// is none: the thread on which sockets are opened, closed and notified.
bool IsSockWndThread();
