#include "qxnetengine/gameclient/gatesvrsocket.h"

#include "common/bytes/byteorder.h"
#include "common/syncwnd/msgsyncwnd.h"
#include "qxnetengine/keyroutine/keyroutine.h"
#include "qxnetengine/log/logfile.h"
#include "qxnetengine/netengine/netengine.h"

#include <boost/bind/bind.hpp>

#include <cstring>

using namespace boost::placeholders;
using namespace GateHandshake;

CGateSvrSocket::CGateSvrSocket(CNetEngine* engine, uint32_t gateId)
    : CMsgSocket(1024, 4096),
      m_pEngine(engine),
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
    std::string payload;
    uint32_t state = m_State.load();
    if (state == Established && m_pEngine) {
        payload = m_pEngine->EncryptGateData(data, len);
    } else if (state == Handshake) {
        payload.assign(data, len);
        ScrambleGate(&payload[0], payload.size());
    } else {
        return;
    }
    if (payload.empty())
        return;
    std::string sendPkg(4, '\0');
    WriteU32LE(&sendPkg[0], static_cast<uint32_t>(payload.size()));
    sendPkg += payload;
    CMsgSocket::Send(sendPkg.data(), static_cast<unsigned int>(sendPkg.size()));
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
    m_strRecv.clear();
    CNetEngine* engine = m_pEngine;
    if (engine)
        CMsgSyncWnd::Instance().SyncCall(boost::bind(&CNetEngine::OnGateSvrClosed, engine, _1, _2),
                                         0, 0);
}

unsigned int CGateSvrSocket::OnRecv(const char* data, unsigned int len)
{
    m_strRecv.append(data, len);
    ConsumeReceived(len);
    if (!DispMsg())
        Shutdown();
    return 0;
}

bool CGateSvrSocket::DispMsg()
{
    while (m_strRecv.size() >= 4) {
        uint32_t pkgLen = ReadU32LE(m_strRecv.data());
        // A length no frame of this state can have ends the connection now,
        // before its bytes are waited for.
        uint32_t maxLen = m_State == Handshake ? kMaxHandshakeFrame : kMaxEncryptedFrame;
        if (pkgLen > maxLen)
            return false;
        if (static_cast<uint64_t>(pkgLen) + 4 > m_strRecv.size())
            return true;
        std::string strPkg = m_strRecv.substr(4, pkgLen);
        m_strRecv.erase(0, static_cast<size_t>(pkgLen) + 4);
        if (m_State == Established) {
            if (m_pEngine) {
                std::string pkg = m_pEngine->DecryptGateData(strPkg.data(), strPkg.size());
                m_pEngine->DispatchGatePkg(pkg);
            }
            if (IsDeletePending())
                return true;  // released from inside a handler
            continue;
        }
        if (m_State != Handshake)
            return false;
        ScrambleGate(&strPkg[0], strPkg.size());
        if (!CheckReply(strPkg))
            return false;
    }
    return true;
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
        memcpy(m_pEngine->GetServerKeyHalf(), block, sizeof block);
    return true;
}

void CGateSvrSocket::ReportLogin(unsigned int code)
{
    CNetEngine* engine = m_pEngine;
    if (engine)
        CMsgSyncWnd::Instance().SyncCall(boost::bind(&CNetEngine::OnGateSvrLogin, engine, _1, _2),
                                         code, static_cast<int32_t>(m_GateId));
}
