#pragma once
// Implementations of the three protocol classes that log every callback as a
// line of text, and a sender that keeps what it is given.

#include "QXNetEngine.h"
#include "common/protocols/resinfo.h"
#include "common/protocols/resinfodisp.h"
#include "common/protocols/resinfoinner.h"

#include <stdexcept>
#include <string>
#include <vector>

class CKeepingSender : public IMsgSender {
public:
    bool QXNET_CALL Send(const char* data, unsigned int len) override
    {
        m_Sent.emplace_back(data, len);
        return false;  // a refusal must not matter to the protocol class
    }
    std::vector<std::string> m_Sent;
};

std::string Str(const TVecChar& v);
std::string Str(const TBigString& v);

// Shared by the test implementations: a callback log and an optional throw.
struct TCallLog {
    std::string m_strLog;
    bool m_bThrow = false;
    void Add(const std::string& line)
    {
        m_strLog += line + ";";
        if (m_bThrow)
            throw std::runtime_error("callback failed");
    }
};

class CTestResInfo : public ResInfo::CResInfo, public TCallLog {
public:
    void OnRecv_GetVersions(const uint32_t& version) override;
};

class CTestResInfoDisp : public ResInfoDisp::CResInfoDisp, public TCallLog {
public:
    void OnRecv_RetResInfoSvrAddr(const ResInfoDisp::TIPv4Addr& address, const uint16_t& port,
                                  const TVecChar& ticket) override;
};

class CTestResInfoInner : public ResInfoInner::CResInfoInner, public TCallLog {
public:
    void OnRecv_RetVersionList(const ResInfoInner::TVecVersionInfo& versionList) override;
    void OnRecv_RetFileInfo(const ResInfoInner::TFileInfo& fileInfo,
                            const uint32_t& leftLength) override;
    void OnRecv_RetFileBuffer(const TBigString& buffer) override;
};
