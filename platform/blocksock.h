#pragma once
// Blocking sockets for worker threads, each call bounded by a time-out, and
// IPv4 name lookup. Safe to use from any thread.

#include "platform/sockaddr.h"
#include "platform/sockets.h"

#include <cstdint>

namespace qxplat {

// Results of the timed calls besides byte counts. A negative time-out means
// no limit.
const int kSockError = -1;
const int kSockTimedOut = -2;

// A blocking UDP socket bound to port (0: an ephemeral one); kInvalidSock on failure.
SockHandle UdpOpen(unsigned short port = 0);
// Bytes sent, or kSockError.
int UdpSendTo(SockHandle s, const char* data, int len, const TSockAddrV4& to);
// Waits at most timeoutMs for one datagram: its length (cut to len), or
// kSockError, or kSockTimedOut. from receives the sender's address.
int UdpRecvFrom(SockHandle s, char* buf, int len, TSockAddrV4* from, int timeoutMs);

// Connects a blocking TCP socket within timeoutMs; kInvalidSock on failure,
// with *notCreated (when given) telling whether not even a socket was made.
SockHandle TcpConnect(const TSockAddrV4& to, int timeoutMs, bool* notCreated = nullptr);
// Sends all len bytes within timeoutMs: len, or kSockError, or kSockTimedOut.
int TcpSendAll(SockHandle s, const char* data, int len, int timeoutMs);
// Waits at most timeoutMs for bytes: how many arrived (at most len), 0 when
// the peer closed, kSockError, or kSockTimedOut.
int TcpRecv(SockHandle s, char* buf, int len, int timeoutMs);

// Closes a blocking socket (the same call as SockClose).
void BlockSockClose(SockHandle s);

// IPv4 address of host in network order, the first the resolver gives; a
// dotted address is taken as it stands without a lookup. Thread-safe.
bool ResolveIPv4(const char* host, uint32_t* addrNetOrder);

}  // namespace qxplat
