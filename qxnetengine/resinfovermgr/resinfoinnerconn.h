#pragma once
// The engine's own connection to the resource-information server (module
// 301): frames of total length, running number, package.

#include "common/msgdisp/msgdisp.h"
#include "common/msgdisp/pkgbuffer.h"
#include "common/msgsocket/msgsocket.h"
#include "common/protocols/resinfoinner.h"
#include "qxnetengine/resinfovermgr/resinfovergog.h"

#include <string>

class CNetEngine;
class CResInfoInnerConn;
class CUpdateSession;

// Frames each body with the process-wide running number (1, 2, ..., never 0).
class CSeqSender : public IMsgSender {
public:
    CSeqSender() : m_pSocket(nullptr), m_bBuilding(false) {}
    virtual ~CSeqSender() {}

    bool QXNET_CALL Send(const char* data, unsigned int len) override;
    CMsgSocket* SetSocket(CMsgSocket* socket);

private:
    CMsgSocket* m_pSocket;
    CPkgBuffer m_Buffer;
    bool m_bBuilding;
};

class CResInfoInnerDrv : public ResInfoInner::CResInfoInner {
public:
    explicit CResInfoInnerDrv(CResInfoInnerConn* owner) : m_pOwner(owner) {}

    bool QXNET_CALL OnMsg(const char* body, unsigned int len) override;
    void OnRecv_RetVersionList(const ResInfoInner::TVecVersionInfo& versionList) override;
    void OnRecv_RetFileInfo(const ResInfoInner::TFileInfo& fileInfo,
                            const uint32_t& leftLength) override;
    void OnRecv_RetFileBuffer(const TBigString& buffer) override;

private:
    // Asks for the next file, or finishes: the result is reported and the
    // download ends (abort).
    void RequestNext();
    void OnRecv_RetFileBytes(const TBigStringJoined& buffer);
    void OnRecv_RetFileGathered(const TBigStringAppended& buffer);
    // What the file store said of a piece: bytes still missing, or below 0.
    void OnFileContent(int64_t missing);

    CResInfoInnerConn* m_pOwner;
    // The last RetFileBuffer's bytes; its storage serves the next one.
    std::tuple<TBigStringJoined> m_Joined;
    // A piece joined onto the file's gathered bytes, which held this many.
    std::tuple<TBigStringAppended> m_Gathered{TBigStringAppended{nullptr}};
    size_t m_nGatheredBefore = 0;
};

class CResInfoInnerConn : public CMsgSocket, private IResInfoVerGog {
public:
    // A server that sends nothing this long while a reply is due ends the
    // update with -3.
    static const unsigned int kReplyTimeoutMs = 60000;

    CResInfoInnerConn();
    ~CResInfoInnerConn() override;

    void OnConnect(bool success) override;
    void OnClose() override;
    unsigned int OnRecv(const char* data, unsigned int len) override;
    void OnWatchdog() override;

    bool IsConnectFailed() const { return m_bConnectFailed; }
    bool IsFinished() const { return m_bFinished; }
    // The update lets go: nothing more is reported, written or dispatched.
    void Detach()
    {
        m_pEngine = nullptr;
        m_pSession = nullptr;
    }
    bool IsDetached() const { return m_pSession == nullptr; }
    // The failure of a connect that could not even start, reported as a
    // connect that failed.
    void FailConnect() { OnConnect(false); }
    // The reporter for the end of the download: marks the result reported
    // before the game hears it.
    IResInfoVerGog* Reporter() { return this; }
    void AwaitReply() { SetWatchdog(kReplyTimeoutMs); }

    CNetEngine* m_pEngine;
    CUpdateSession* m_pSession;  // the update this connection serves
    bool m_bFinished;
    TVecChar ticket;

private:
    void OnGetResult(int32_t result, uint32_t version,
                     const std::vector<ResInfoItem>& items) override;
    // Hands over the whole frames at the front of data; returns the bytes
    // they took, or kClose when the connection must close.
    unsigned int CutFrames(const char* data, unsigned int len);
    bool OnFrame(const char* data, uint32_t len);
    void Report(int32_t result, uint32_t version, const std::vector<ResInfoItem>& items);

    CResInfoInnerDrv m_Drv;
    CMsgDisp m_MsgDisp;
    CSeqSender m_Sender;
    bool m_bConnectFailed;
    bool m_bCutting;  // a frame's handler is running
};
