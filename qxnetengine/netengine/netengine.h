#pragma once

#include "QXNetEngine.h"
#include "common/dataencryption/dataencryption.h"
#include "common/msgdisp/msgdisp.h"
#include "common/msgdisp/pkgsender.h"
#include "platform/sockets.h"
#include "platform/thread.h"
#include "qxnetengine/fakesender/fakesender.h"
#include "qxnetengine/gameclient/gatesvrsocket.h"
#include "qxnetengine/nete_filtersender/nete_filtersender.h"
#include "qxnetengine/resinfovermgr/resinfodrv.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

struct CDiscoveryShared;
class CNetEngine;

// The package sender handed to the game: it keeps the engine alive while a
// Send is on the stack, since a module-300 answer delivered inside it may
// lead the game to release the engine.
class CNetEnginePkgSender : public CPkgSender {
public:
    explicit CNetEnginePkgSender(CNetEngine* engine) : m_pEngine(engine) {}
    bool QXNET_CALL Send(const char* data, unsigned int len) override;

private:
    CNetEngine* m_pEngine;
};

// The game's connection to its servers through a gate server. Everything
// runs on the thread that owns the socket and sync windows, except the
// discovery threads, which share only a CDiscoveryShared block with it, and
// the package sender's Send, which a game may call on any thread: it touches
// only the sender, the filter's hand-off, the gate connection's Send and the
// encryption's read-only key.
class CNetEngine final : public INetEngine, public IGateSvrOwner {
public:
    static const uint32_t kAddrNone = 0xFFFFFFFFu;

    CNetEngine();

    int QXNET_CALL Initialize(INetEngineHandler* handler) override;
    int QXNET_CALL Connect(int reconnect) override;
    IMsgDisp* QXNET_CALL GetMsgDisp() override;
    IMsgSender* QXNET_CALL GetSender() override;
    void QXNET_CALL Release() override;

    bool StartDiscovery();
    bool ConnectGateSvr(bool reconnect);

    // Continuations of the discovery threads, run on the window thread.
    void OnDispSvrResolved(unsigned int ok, int32_t);
    void OnGateSvrAddrGot(unsigned int ok, int32_t);
    void OnDispSvrNotice(unsigned int code, int32_t value);

    // What the gate connection uses of the engine, and its reports.
    unsigned char* GetKeyArea() override { return m_KeyArea; }
    void InstallGateKey() override;
    bool EncryptGateData(const char* data, size_t len, std::string& out) const override;
    bool DecryptGateData(const char* data, size_t len, std::string& out) const override;
    void DispatchGatePkg(const std::string& pkg) override;
    void OnGateSvrLogin(unsigned int code, int32_t gateId) override;
    void OnGateSvrClosed(unsigned int, int32_t) override;
    // A module-300 body that a game thread sent, on the window's thread.
    void DeliverLocalRequest(const std::string& body);

    // Keeps the engine alive while one of its calls is on the stack: a
    // Release meanwhile (from inside a game callback) frees it when the last
    // such call has returned.
    void EnterCall() { m_nRefs.fetch_add(1, std::memory_order_relaxed); }
    void LeaveCall()
    {
        if (m_nRefs.fetch_sub(1, std::memory_order_acq_rel) == 1)
            delete this;
    }

    uint32_t GetGateSvrAddr() const { return m_nGateSvrAddr; }
    unsigned short GetGateSvrPort() const { return m_nGateSvrPort; }
    const CGateSvrSocket* GetGateConn() const { return m_pGateConn; }
    // Logged in to the gate server: packages can reach it.
    bool IsGateEstablished() const
    {
        return m_pGateConn && m_pGateConn->GetGateState() == CGateSvrSocket::Established;
    }

    // The gate's module-302 answers (where the resource server is).
    CResInfoDispDrv& GetResInfoDispDrv() { return m_ResInfoDispDrv; }
    // The package sender whether or not the gate is logged in (GetSender
    // hands it to the game only then).
    IMsgSender* GetPkgSender() { return &m_Sender; }
    bool IsDiscovering() const;
    // A gate connect refused after a successful discovery: the game hears
    // OnGateLogin(0) on the next turn of the loop.
    void OnGateConnectRefused(unsigned int, int32_t);

private:
    ~CNetEngine();
    CNetEngine(const CNetEngine&) = delete;
    CNetEngine& operator=(const CNetEngine&) = delete;

    // Ends a discovery that reported a resolved address without reaching
    // the discovery thread: the game still hears OnGateSvrAddr(0).
    void EndDiscoveryEarly();
    void ReportGateSvrAddr(unsigned int ok, uint32_t addr, unsigned short port);
    // Lets go of the gate connection; it is destroyed once control has left
    // its code, with its socket closed.
    void DropGateConn();

    qxplat::ThreadHandle* m_hResolveThread;    // set while resolving; cleared by its continuation
    qxplat::ThreadHandle* m_hDiscoveryThread;  // set while asking; cleared by its continuation
    // Each discovery worker owns its socket, so the engine keeps none.
    std::string m_strDispSvrHost;
    uint32_t m_nDispSvrAddr;  // network order
    int m_nDispSvrPort;
    // The client key half, then the server key half.
    unsigned char m_KeyArea[kKeyAreaLen];
    uint32_t m_nGateSvrAddr;  // network order
    unsigned short m_nGateSvrPort;
    INetEngineHandler* m_pHandler;
    CGateSvrSocket* m_pGateConn;
    uint32_t m_nGateId;
    bool m_bReconnect;
    CNetEnginePkgSender m_Sender;
    CMsgDisp m_MsgDisp;
    CDataEncryption m_Encryption;
    uint32_t m_nClientVersion;
    CNetEFilterSender m_FilterSender;
    CResInfoDrv m_ResInfoDrv;
    CFakeSender m_FakeSender;
    CResInfoDispDrv m_ResInfoDispDrv;
    // What the discovery threads share with this engine, the "dispatch
    // server answered" mark among it; it outlives the engine while a late
    // thread still holds it.
    std::shared_ptr<CDiscoveryShared> m_pShared;

    std::atomic<int> m_nRefs;
    bool m_bReleasing;
};
