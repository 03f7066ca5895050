#pragma once
// Module 300: the game asks the engine for a version update and receives the
// result, inside the process.

#include "common/protocols/protocolbase.h"

namespace ResInfo {

class CResInfo : public CProtocolBase {
public:
    static constexpr unsigned short kModuleId = 300;
    // Message ids are numbered separately for each direction.
    enum ERecvId { kGetVersions = 1 };
    enum ESendId { kRetVersions = 1, kRetResInfo = 2 };

    CResInfo() : CProtocolBase(kModuleId) {}

    bool QXNET_CALL OnMsg(const char* body, unsigned int len) override;

    void RetVersions(const int32_t& result, const uint32_t& version, const uint32_t& count);
    void RetResInfo(const uint32_t& resID, const TVecChar& pkgID, const TBigString& xmlInfo);

    virtual void OnRecv_GetVersions(const uint32_t& version) = 0;

protected:
    ~CResInfo() {}

    bool _DoRecv_GetVersions(const char* payload, unsigned int len);
};

}  // namespace ResInfo
