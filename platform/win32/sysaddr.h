#pragma once
// Between the library's address type and the system's, inside win32/ only.

#include "platform/sockaddr.h"

#include <winsock2.h>

#include <cstring>

namespace qxplat {

inline sockaddr_in ToSysAddr(const TSockAddrV4& a)
{
    sockaddr_in s;
    memset(&s, 0, sizeof s);
    s.sin_family = AF_INET;
    s.sin_addr.s_addr = a.addrNetOrder;
    s.sin_port = htons(a.portHostOrder);
    return s;
}

inline TSockAddrV4 FromSysAddr(const sockaddr_in& s)
{
    TSockAddrV4 a;
    a.addrNetOrder = s.sin_addr.s_addr;
    a.portHostOrder = ntohs(s.sin_port);
    return a;
}

}  // namespace qxplat
