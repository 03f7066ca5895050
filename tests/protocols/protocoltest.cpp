#include "protocoltest.h"

#include <sstream>

std::string Str(const TVecChar& v) { return std::string(v.begin(), v.end()); }

std::string Str(const TBigString& v)
{
    std::string out;
    for (const TVecChar& piece : v) out += (out.empty() ? "" : "|") + Str(piece);
    return out;
}

void CTestResInfo::OnRecv_GetVersions(const uint32_t& version)
{
    Add("GetVersions " + std::to_string(version));
}

void CTestResInfoDisp::OnRecv_RetResInfoSvrAddr(const ResInfoDisp::TIPv4Addr& address,
                                                const uint16_t& port, const TVecChar& ticket)
{
    std::ostringstream line;
    line << "RetResInfoSvrAddr " << int(address.Octets[0]) << "." << int(address.Octets[1]) << "."
         << int(address.Octets[2]) << "." << int(address.Octets[3]) << ":" << port << " "
         << Str(ticket);
    Add(line.str());
}

void CTestResInfoInner::OnRecv_RetVersionList(const ResInfoInner::TVecVersionInfo& versionList)
{
    std::string line = "RetVersionList";
    for (const ResInfoInner::TVersionInfo& info : versionList)
        line += " " + std::to_string(info.Version) + "/" + std::to_string(info.SubNo);
    Add(line);
}

void CTestResInfoInner::OnRecv_RetFileInfo(const ResInfoInner::TFileInfo& fileInfo,
                                           const uint32_t& leftLength)
{
    Add("RetFileInfo " + std::to_string(fileInfo.FileSize) + " " + std::to_string(leftLength));
}

void CTestResInfoInner::OnRecv_RetFileBuffer(const TBigString& buffer)
{
    Add("RetFileBuffer " + Str(buffer));
}
