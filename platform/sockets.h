#pragma once
// Sockets of the message loop: non-blocking TCP with WSAAsyncSelect
// semantics (the events arrive as window messages to a hidden window).

#include "platform/sockaddr.h"

#include <cstdint>

namespace qxplat {

class HiddenWnd;

typedef uintptr_t SockHandle;
const SockHandle kInvalidSock = ~static_cast<SockHandle>(0);

// Socket events keep their Windows values on every platform.
const long kFdRead = 0x01;
const long kFdWrite = 0x02;
const long kFdAccept = 0x08;
const long kFdConnect = 0x10;
const long kFdClose = 0x20;

// Starts Windows Sockets 2.2 once per process (a no-op on POSIX); it is
// stopped when the process's static objects are destroyed.
void StartSockets();
SockHandle SockCreateTcp();
void SockClose(SockHandle s);
// Ends the connection in both directions without releasing the handle, so
// its number cannot be reused while another thread may still use it.
void SockShutdown(SockHandle s);
// Closes with a reset instead of an orderly shutdown (linger time 0).
void SockCloseAbortive(SockHandle s);
// Makes the next close of s a reset (linger time 0), for an owner whose
// close goes through code that does an orderly one.
bool SockSetAbortive(SockHandle s);
// Lets a listener bind a port that connections it accepted before still use.
bool SockSetReuseAddr(SockHandle s);
// The events arrive as msg to wnd with wParam = socket and
// lParam = event | (error << 16): FD_CONNECT once with its error code,
// FD_READ again only after each recv, FD_WRITE once after the connect and
// again only after a send would block, FD_CLOSE once after the last data,
// FD_ACCEPT per pending connection. Makes s non-blocking; events 0 cancels.
bool SockAsyncSelect(SockHandle s, HiddenWnd* wnd, unsigned int msg, long events);
bool SockBind(SockHandle s, const TSockAddrV4& addr);
bool SockListen(SockHandle s, int backlog);
// Starts a connect; the outcome arrives as the connect event.
void SockConnect(SockHandle s, const TSockAddrV4& addr);
SockHandle SockAccept(SockHandle s, TSockAddrV4* peer);
// Byte counts, or -1 for an error (including would-block). Safe from any
// thread; a send that would block re-arms FD_WRITE for the window's thread.
int SockRecv(SockHandle s, char* buf, int len);
int SockSend(SockHandle s, const char* buf, int len);
// Sets the system's send and receive buffer sizes of s (0 leaves one as it
// is), e.g. so that a slow peer makes sends would-block sooner.
bool SockSetBufferSizes(SockHandle s, int sendBytes, int recvBytes);
// Sends each write at once instead of holding a short tail back until the
// peer acknowledges what is in flight (Nagle), for a stream of large writes
// whose reader waits for each whole one.
bool SockSetNoDelay(SockHandle s);
// The bound local address, e.g. to learn the port the system chose.
bool SockLocalAddr(SockHandle s, TSockAddrV4* addr);

}  // namespace qxplat
