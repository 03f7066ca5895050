#pragma once
// SvrAddr.ini beside the library: where the dispatch server is. Read afresh
// at every discovery, so an edit takes effect at the next Connect.

#include <string>

struct TSvrAddrConfig {
    std::string host;  // IP: a dotted IPv4 address or a host name
    int port = 0;      // Port
};

// The file's full path.
std::string SvrAddrIniPath();
TSvrAddrConfig ReadSvrAddr();
// TCP: -1 asks over UDP first, then TCP; any other value TCP only.
int ReadSvrAddrTcpMode();
