#pragma once

#include "platform/sockets.h"

class CMsgSocket;

// Base of every TCP connection object. The slot order of the operations is
// fixed; slots 3 and 11 are kept with their default bodies.
class CSockBase {
public:
    CSockBase() : m_hSocket(qxplat::kInvalidSock) {}

    virtual bool Listen(unsigned short /*port*/) { return false; }
    virtual bool Close() { return false; }
    virtual bool Shutdown() { return false; }
    virtual int Reserved3(int, int) { return 0; }
    virtual void Send(const char* /*data*/, unsigned int /*len*/) {}
    virtual bool IsConnected() { return m_hSocket != qxplat::kInvalidSock; }
    virtual void OnConnect(bool /*success*/) {}
    virtual void OnClose() {}
    // All buffered received bytes; returns how many to drop from the front.
    virtual unsigned int OnRecv(const char* /*data*/, unsigned int /*len*/) { return 0; }
    // Factory for an accepted connection; the port is in network byte order.
    virtual CMsgSocket* OnAcceptSocket(const char* /*peerAddr*/, unsigned short /*peerPort*/)
    {
        return nullptr;
    }
    virtual void OnAccepted(CMsgSocket* /*socket*/) {}
    virtual void Reserved11(int, int) {}
    virtual void OnSocketCreated() {}
    virtual ~CSockBase() {}

    qxplat::SockHandle GetHandle() const { return m_hSocket; }

protected:
    qxplat::SockHandle m_hSocket;
};
