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
    void OnGetResult(int32_t result, uint32_t version,
                     const std::vector<ResInfoItem>& items) override;

private:
    CResInfoVerGogImpl() : m_pProtocol(nullptr) {}
    ~CResInfoVerGogImpl() {}

    ResInfo::CResInfo* m_pProtocol;
};
