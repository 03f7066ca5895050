#include "qxnetengine/gameclient/gatesvrsocket.h"

#include "common/bytes/byteorder.h"
#include "common/syncwnd/msgsyncwnd.h"
#include "qxnetengine/keyroutine/keyroutine.h"
#include "qxnetengine/log/logfile.h"

#include <boost/bind/bind.hpp>

#include <cstring>

using namespace boost::placeholders;
using namespace GateHandshake;

CGateSvrSocket::CGateSvrSocket(IGateSvrOwner* engine, uint32_t gateId)
    : CMsgSocket(1024, 4096),
      m_pEngine(engine),
      m_Cutter(this),
      m_GateId(gateId),
      m_State(Idle),
      m_nKeyRoutineBudget(CKeyRoutineSandbox::kDefaultBudget)
{
}

CGateSvrSocket::~CGateSvrSocket() {}

void CGateSvrSocket::Send(const char* data, unsigned int len)
{
    if (!data || len == 0)
        return;
    CAutoLock lock(&m_SendScratchLock);
    std::string& pkg = m_strSendPkg;
    pkg.assign(4, '\0');
    uint32_t state = m_State.load();
    if (state == Established && m_pEngine) {
        if (!m_pEngine->EncryptGateData(data, len, pkg))
            return;
    } else if (state == Handshake) {
        pkg.append(data, len);
        ScrambleGate(&pkg[4], len);
    } else {
        return;
    }
    WriteU32LE(&pkg[0], static_cast<uint32_t>(pkg.size() - 4));
    CMsgSocket::Send(pkg.data(), static_cast<unsigned int>(pkg.size()));
}

void CGateSvrSocket::OnConnect(bool success)
{
    if (!success) {
        ReportLogin(2);
        return;
    }
    m_State = Handshake;
    SetWatchdog(kHandshakeTimeoutMs);
    char req[kHeadLen + kRequestBodyLen];
    WriteU16LE(req, kRequestBodyLen);
    WriteU16LE(req + 2, kRequestType);
    WriteU32LE(req + 4, kModuleTag);
    WriteU32LE(req + 8, kMessageTag);
    WriteU32LE(req + 12, 1);
    WriteU32LE(req + 16, m_GateId);
    memset(req + 20, 0, 16);
    if (m_pEngine)
        memcpy(req + 20, m_pEngine->GetKeyArea(), 16);
    Send(req, sizeof req);
}

void CGateSvrSocket::OnWatchdog()
{
    if (m_State == Handshake)
        Shutdown();
}

void CGateSvrSocket::OnClose()
{
    m_State = Idle;
    m_Cutter.Reset();
    IGateSvrOwner* engine = m_pEngine;
    if (engine)
        CMsgSyncWnd::Instance().SyncCall(boost::bind(&IGateSvrOwner::OnGateSvrClosed, engine, _1, _2),
                                         0, 0);
}

unsigned int CGateSvrSocket::OnRecv(const char* data, unsigned int len)
{
    m_Cutter.Take(data, len);
    ConsumeReceived(len);
    if (!m_Cutter.Cut())
        Shutdown();
    return 0;
}

IFrameOwner::Verdict CGateSvrSocket::CheckFrameLen(uint32_t len)
{
    switch (m_State.load()) {
    case Established: return len > kMaxEncryptedFrame ? kSkip : kTake;
    // A length no handshake reply can have ends the connection now, before
    // its bytes are waited for.
    case Handshake: return len > kMaxHandshakeFrame ? kClose : kTake;
    default: return kClose;
    }
}

bool CGateSvrSocket::OnFrame(const char* data, uint32_t len)
{
    if (m_State == Established) {
        if (m_pEngine) {
            m_pEngine->DecryptGateData(data, len, m_strPlain);
            m_pEngine->DispatchGatePkg(m_strPlain);
        }
        return true;
    }
    std::string strPkg(data, len);
    ScrambleGate(&strPkg[0], strPkg.size());
    return CheckReply(strPkg);
}

bool CGateSvrSocket::CheckReply(const std::string& msg)
{
    if (msg.size() < kHeadLen)
        return false;
    const char* p = msg.data();
    uint32_t bodyLen = ReadU16LE(p);
    if (ReadU32LE(p + 4) != kModuleTag || ReadU32LE(p + 8) != kMessageTag ||
        bodyLen + kHeadLen != msg.size() || ReadU16LE(p + 2) != kReplyType)
        return false;
    // A reply of the wrong size is no handshake result: only the close is reported.
    if (bodyLen != kReplyBodyLen)
        return false;
    const char* body = p + kHeadLen;
    uint32_t kind = ReadU32LE(body);
    KillWatchdog();
    bool accepted = kind == 2 || (kind == 1 && RunKeyRoutine(msg, static_cast<uint8_t>(body[8])));
    if (accepted) {
        m_GateId = ReadU32LE(body + 4);
        if (m_pEngine)
            m_pEngine->InstallGateKey();
        m_State = Established;
    } else {
        m_State = Idle;
    }
    ReportLogin(accepted ? 0 : 1);
    return accepted;
}

bool CGateSvrSocket::RunKeyRoutine(const std::string& msg, uint32_t skip)
{
    // Laid out as in the reply: parameter at 9 + s, block at 10 + s, code at
    // 26 + s of the body; the skip count always leaves room for all three.
    const size_t body = kHeadLen;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(msg.data());
    unsigned char param = bytes[body + 9 + skip];
    unsigned char block[CKeyRoutineSandbox::kBlockSize];
    TKeyRoutineResult r =
        CKeyRoutineSandbox(m_nKeyRoutineBudget)
            .RunInMessage(bytes, msg.size(), body + 26 + skip, body + 10 + skip, param, block);
    if (!r.IsOk()) {
        GetLog("NetLog").Write(2, "[%s] key routine refused: %s", "CGateSvrSocket::CheckReply",
                               DescribeKeyRoutineResult(r).c_str());
        return false;
    }
    if (m_pEngine)
        memcpy(m_pEngine->GetKeyArea() + 16, block, sizeof block);
    return true;
}

void CGateSvrSocket::ReportLogin(unsigned int code)
{
    IGateSvrOwner* engine = m_pEngine;
    if (engine)
        CMsgSyncWnd::Instance().SyncCall(boost::bind(&IGateSvrOwner::OnGateSvrLogin, engine, _1, _2),
                                         code, static_cast<int32_t>(m_GateId));
}
