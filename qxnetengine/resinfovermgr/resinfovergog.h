#pragma once
// Reports the outcome of a resource update to the game: one RetVersions and
// one RetResInfo per record, through the engine's module-300 object.

#include "common/protocols/resinfo.h"

#include <cstdint>
#include <string>
#include <vector>

// One resource record of a result.
struct ResInfoItem {
    uint32_t ResID = 0;
    std::string PackageID;
    std::string RecordXml;
};

class IResInfoVerGog {
public:
    virtual void OnGetResult(int32_t result, uint32_t version,
                             const std::vector<ResInfoItem>& items) = 0;

protected:
    ~IResInfoVerGog() {}
};

class CResInfoVerGogImpl : public IResInfoVerGog {
public:
    static CResInfoVerGogImpl& Instance();

    void SetProtocol(ResInfo::CResInfo* protocol) { m_pProtocol = protocol; }
    ResInfo::CResInfo* GetProtocol() const { return m_pProtocol; }

    // One update runs at a time in the process, for the engine whose module-300
    // object asked; its result goes there. Over once the result is reported.
    void Begin(ResInfo::CResInfo* protocol)
    {
        m_pProtocol = protocol;
        m_pRunning = protocol;
    }
    ResInfo::CResInfo* GetRunning() const { return m_pRunning; }
    // An engine that goes away ends its own update without a report.
    void Forget(ResInfo::CResInfo* protocol)
    {
        if (m_pProtocol == protocol)
            m_pProtocol = nullptr;
        if (m_pRunning == protocol)
            m_pRunning = nullptr;
        if (m_pSending == protocol)
            m_pSending = nullptr;
    }
    void OnGetResult(int32_t result, uint32_t version,
                     const std::vector<ResInfoItem>& items) override;

private:
    CResInfoVerGogImpl() : m_pProtocol(nullptr), m_pRunning(nullptr), m_pSending(nullptr) {}
    ~CResInfoVerGogImpl() {}

    ResInfo::CResInfo* m_pProtocol;
    ResInfo::CResInfo* m_pRunning;
    ResInfo::CResInfo* m_pSending;  // the answer's receiver while it is sent
};
