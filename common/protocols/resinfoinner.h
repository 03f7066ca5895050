#pragma once
// Module 301: the engine and the resource-information server, over the
// engine's own connection: the version list and the files it names.

#include "common/protocols/protocolbase.h"

namespace ResInfoInner {

struct TVersionInfo {
    uint32_t Version = 0;
    int32_t SubNo = 0;
};
CBufferReader& operator>>(CBufferReader& reader, TVersionInfo& info);
CBufferWriter& operator<<(CBufferWriter& writer, const TVersionInfo& info);

struct TFileInfo {
    uint32_t FileSize = 0;
};
CBufferReader& operator>>(CBufferReader& reader, TFileInfo& info);
CBufferWriter& operator<<(CBufferWriter& writer, const TFileInfo& info);

typedef std::vector<TVersionInfo> TVecVersionInfo;

class CResInfoInner : public CProtocolBase {
public:
    static constexpr unsigned short kModuleId = 301;
    // Message ids are numbered separately for each direction.
    enum ESendId { kGetVersionList = 1, kGetFile = 2 };
    enum ERecvId { kRetVersionList = 1, kRetFileInfo = 2, kRetFileBuffer = 3 };
    // getLen asking for everything from offset on.
    static constexpr uint32_t kWholeRest = 0xFFFFFFFF;

    CResInfoInner() : CProtocolBase(kModuleId) {}

    bool QXNET_CALL OnMsg(const char* body, unsigned int len) override;

    void GetVersionList(const uint32_t& version);
    void GetFile(const TVersionInfo& file, const uint32_t& offset, const uint32_t& getLen);

    virtual void OnRecv_RetVersionList(const TVecVersionInfo& versionList) = 0;
    virtual void OnRecv_RetFileInfo(const TFileInfo& fileInfo, const uint32_t& leftLength) = 0;
    virtual void OnRecv_RetFileBuffer(const TBigString& buffer) = 0;

protected:
    ~CResInfoInner() {}

    // Where a RetFileBuffer that cannot be decoded or handled is reported.
    static constexpr const char* kRetFileBufferWhere =
        "ResInfoInner::CResInfoInner::_DoRecv_RetFileBuffer";

    bool _DoRecv_RetVersionList(const char* payload, unsigned int len);
    bool _DoRecv_RetFileInfo(const char* payload, unsigned int len);
    bool _DoRecv_RetFileBuffer(const char* payload, unsigned int len);
};

}  // namespace ResInfoInner
