#pragma once
// The library's own IPv4 address type and its text form, so no system socket
// header is needed above the platform layer.

#include <cstdint>
#include <string>

namespace qxplat {

// The address stays in network byte order, as the sockets library returns
// it; the port is in host order until it is put into a system address.
struct TSockAddrV4 {
    uint32_t addrNetOrder = 0;
    uint16_t portHostOrder = 0;
};

// inet_addr: the address in network order, or 0xFFFFFFFF when the text is not
// a dotted IPv4 address (the broadcast address gives the same value).
uint32_t InetAddr(const char* text);
std::string InetNtoa(uint32_t addrNetOrder);

// Byte order of a 16-bit value between host and network (htons and ntohs).
inline uint16_t SwapToNet16(uint16_t v)
{
    const unsigned char b[2] = {static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)};
    uint16_t out;
    __builtin_memcpy(&out, b, 2);
    return out;
}
inline uint16_t SwapFromNet16(uint16_t v) { return SwapToNet16(v); }

}  // namespace qxplat
