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
    m_strRecv.clear();
    m_nRecvAt = 0;
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
    bool ok = true;
    while (ok && m_strRecv.size() - m_nRecvAt >= 4) {
        const char* frame = m_strRecv.data() + m_nRecvAt;
        uint32_t pkgLen = ReadU32LE(frame);
        // A length no frame of this state can have ends the connection now,
        // before its bytes are waited for.
        uint32_t maxLen = m_State == Handshake ? kMaxHandshakeFrame : kMaxEncryptedFrame;
        if (pkgLen > maxLen) {
            ok = false;
            break;
        }
        if (static_cast<uint64_t>(pkgLen) + 4 > m_strRecv.size() - m_nRecvAt)
            break;
        m_nRecvAt += static_cast<size_t>(pkgLen) + 4;
        if (m_State == Established) {
            if (m_pEngine) {
                std::string nested;
                std::string& pkg = m_nDispatchDepth == 0 ? m_strPlain : nested;
                m_pEngine->DecryptGateData(frame + 4, pkgLen, pkg);
                struct TDepth {
                    explicit TDepth(unsigned int& d) : m_d(++d) {}
                    ~TDepth() { --m_d; }
                    unsigned int& m_d;
                } depth(m_nDispatchDepth);
                m_pEngine->DispatchGatePkg(pkg);
            }
            if (IsDeletePending())
                return true;  // released from inside a handler
            continue;
        }
        if (m_State != Handshake) {
            ok = false;
            break;
        }
        std::string strPkg(frame + 4, pkgLen);
        ScrambleGate(&strPkg[0], strPkg.size());
        ok = CheckReply(strPkg);
    }
    // Handled frames leave in one move, not one move per frame.
    m_strRecv.erase(0, m_nRecvAt);
    m_nRecvAt = 0;
    return ok;
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
