#include "qxnetengine/netengine/svraddr.h"

#include "platform/ini.h"
#include "platform/paths.h"

namespace {

const char kSection[] = "SvrAddr";
// A developer's own reference servers; never an address off this machine.
const char kDefaultHost[] = "127.0.0.1";
const int kDefaultPort = 4569;
const int kDefaultTcp = -1;
const size_t kMaxHost = 255;

}  // namespace

std::string SvrAddrIniPath() { return qxplat::LibraryDir() + "SvrAddr.ini"; }

TSvrAddrConfig ReadSvrAddr()
{
    const std::string path = SvrAddrIniPath();
    TSvrAddrConfig config;
    config.host = qxplat::IniGetString(path, kSection, "IP", kDefaultHost);
    if (config.host.size() > kMaxHost)
        config.host.resize(kMaxHost);
    config.port = qxplat::IniGetInt(path, kSection, "Port", kDefaultPort);
    return config;
}

int ReadSvrAddrTcpMode()
{
    return qxplat::IniGetInt(SvrAddrIniPath(), kSection, "TCP", kDefaultTcp);
}
