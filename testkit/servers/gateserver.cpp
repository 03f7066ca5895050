#include "gateserver.h"

#include "common/bytes/byteorder.h"
#include "common/dataencryption/dataencryption.h"
#include "common/msgdisp/msgdisp.h"
#include "common/msgdisp/pkgsender.h"
#include "common/protocols/gatehandshake.h"
#include "keyroutinetable.h"
#include "platform/sockaddr.h"
#include "platform/time.h"
#include "servermodules.h"

#include <cstring>

using namespace GateHandshake;

namespace {

// Largest encrypted frame: a package of the largest body, padded.
const uint32_t kMaxFrame = CMsgDisp::kMaxBody + 4 + 64;
const uint32_t kReplyBodyLen = GateHandshake::kReplyBodyLen;
const size_t kRememberedGateIds = 256;

class CGateConn;

class CDispModule : public CResInfoDispSvr {
public:
    explicit CDispModule(CGateConn* conn) : m_pConn(conn) {}
    void OnRecv_GetResInfoSvrAddr() override;

private:
    CGateConn* m_pConn;
};

class CEchoModule : public IMsgHandler {
public:
    explicit CEchoModule(CGateConn* conn) : m_pConn(conn) {}
    bool QXNET_CALL OnMsg(const char* body, unsigned int len) override;
    IMsgSender* QXNET_CALL SetSender(IMsgSender* sender) override
    {
        IMsgSender* old = m_pSender;
        m_pSender = sender;
        return old;
    }
    unsigned short QXNET_CALL GetModuleId() override { return CRefGateServer::kEchoModule; }

private:
    CGateConn* m_pConn;
    IMsgSender* m_pSender = nullptr;
};

class CGateConn : public CRefConn {
public:
    explicit CGateConn(CRefGateServer* server)
        : CRefConn("gate", 1 << 20), m_pServer(server), m_DispModule(this), m_EchoModule(this)
    {
        m_Disp.RegisterHandler(&m_DispModule);
        m_Disp.RegisterHandler(&m_EchoModule);
        m_Sender.SetSocket(this);
        m_DispModule.SetSender(&m_Sender);
        m_EchoModule.SetSender(&m_Sender);
    }
    ~CGateConn() override { m_Sender.SetSocket(nullptr); }

    // A package out: encrypted and framed once the key is agreed.
    void Send(const char* data, unsigned int len) override
    {
        if (!m_bEstablished || !data || len == 0 || Dropped())
            return;
        std::string payload = m_Crypto.Encrypt(data, len);
        std::string frame(4, '\0');
        WriteU32LE(&frame[0], static_cast<uint32_t>(payload.size()));
        frame += payload;
        if (m_nFault == CRefGateServer::kFaultCloseMidFrame) {
            Fault("closing in the middle of a frame");
            Out(frame.data(), frame.size() / 2);
            Drop("fault");
            return;
        }
        if (m_nFault == CRefGateServer::kFaultGarbageFrame) {
            Fault("a frame of random bytes before the answer");
            m_nFault = 0;
            std::string garbage(4 + 32, '\0');
            WriteU32LE(&garbage[0], 32);
            for (size_t i = 4; i < garbage.size(); ++i)
                garbage[i] = static_cast<char>(m_pServer->Random().Next());
            Out(garbage.data(), garbage.size());
        }
        Out(frame.data(), frame.size());
    }

    CRefGateServer* Server() { return m_pServer; }
    uint32_t GateId() const { return m_nGateId; }
    using CRefConn::Log;

private:
    void OnInput() override
    {
        while (!Dropped() && m_strIn.size() >= 4) {
            uint32_t len = ReadU32LE(m_strIn.data());
            uint32_t limit = m_bEstablished ? kMaxFrame : kHeadLen + kRequestBodyLen;
            if (len == 0 || len > limit || (!m_bEstablished && len != limit)) {
                Drop("frame of impossible length");
                return;
            }
            if (m_strIn.size() - 4 < len)
                return;
            std::string payload = m_strIn.substr(4, len);
            m_strIn.erase(0, 4 + static_cast<size_t>(len));
            if (m_bEstablished && m_nFault == CRefGateServer::kFaultStall) {
                if (!m_bStalled)
                    Fault("no more answers after the login");
                m_bStalled = true;
            } else if (m_bEstablished)
                OnPackage(m_Crypto.Decrypt(payload));
            else
                OnRequest(payload);
        }
    }

    void OnRequest(std::string req)
    {
        ScrambleGate(&req[0], req.size());
        const char* p = req.data();
        if (ReadU16LE(p) != kRequestBodyLen || ReadU16LE(p + 2) != kRequestType ||
            ReadU32LE(p + 4) != kModuleTag || ReadU32LE(p + 8) != kMessageTag ||
            ReadU32LE(p + kHeadLen) != 1) {
            Drop("malformed handshake request");
            return;
        }
        uint32_t askedId = ReadU32LE(p + kHeadLen + 4);
        unsigned char key[32];
        memcpy(key, p + kHeadLen + 8, 16);
        std::string reply = MakeReply(askedId, key + 16);
        Log("recv handshake request, gate id %u; send reply of kind %u, gate id %u%s%s", askedId,
            ReadU32LE(reply.data() + kHeadLen), m_nGateId, m_pRoutine ? ", key routine " : "",
            m_pRoutine ? m_pRoutine->name : "");
        ScrambleGate(&reply[0], reply.size());
        std::string frame(4, '\0');
        WriteU32LE(&frame[0], static_cast<uint32_t>(reply.size()));
        frame += reply;
        Out(frame.data(), frame.size());
        m_Crypto.SetKey(key, 32);
        m_bEstablished = true;
    }

    // The reply message, unscrambled; serverHalf receives the key's second half.
    std::string MakeReply(uint32_t askedId, unsigned char serverHalf[16])
    {
        CRandGen& rnd = m_pServer->Random();
        std::string body(kReplyBodyLen, '\0');
        for (char& c : body) c = static_cast<char>(rnd.Next());
        unsigned char* b = reinterpret_cast<unsigned char*>(&body[0]);
        if (askedId != 0 && m_pServer->KnownServerHalf(askedId, serverHalf)) {
            WriteU32LE(b, 2);  // the gate knows this client: the old half stays
            m_nGateId = askedId;
        } else {
            m_pRoutine = &kKeyRoutines[m_pServer->NextRoutine() % kKeyRoutineCount];
            unsigned skip = static_cast<unsigned>(rnd.Next()) % 16;
            unsigned char param = static_cast<unsigned char>(rnd.Next());
            WriteU32LE(b, 1);
            b[8] = static_cast<unsigned char>(skip);
            b[9 + skip] = param;
            memcpy(serverHalf, b + 10 + skip, 16);
            m_pRoutine->native(serverHalf, param);
            memcpy(b + 26 + skip, m_pRoutine->code, m_pRoutine->len);
            m_nGateId = m_pServer->NewGateId();
            m_pServer->RememberServerHalf(m_nGateId, serverHalf);
        }
        WriteU32LE(b + 4, m_nGateId);
        std::string head(kHeadLen, '\0');
        unsigned char* h = reinterpret_cast<unsigned char*>(&head[0]);
        WriteU16LE(h, static_cast<uint16_t>(kReplyBodyLen));
        WriteU16LE(h + 2, kReplyType);
        WriteU32LE(h + 4, kModuleTag);
        WriteU32LE(h + 8, kMessageTag);
        return head + body;
    }

    void OnPackage(const std::string& pkg)
    {
        unsigned int n = static_cast<unsigned int>(pkg.size());
        if (n < 8 || ReadU32LE(pkg.data()) != n - 4) {
            Drop("frame that decrypts to no package");
            return;
        }
        uint16_t module = ReadU16LE(pkg.data() + 4), msg = ReadU16LE(pkg.data() + 6);
        if (m_Disp.DispatchPkg(pkg.data(), n))
            return;
        if (m_Disp.GetErrorCode() == CMsgDisp::kNoHandler) {
            Log("recv module %u message %u (%u bytes): no such module here, ignored", module, msg,
                n - 8);
            return;
        }
        Drop("malformed message");
    }

    CRefGateServer* m_pServer;
    CDataEncryption m_Crypto;
    CMsgDisp m_Disp;
    CPkgSender m_Sender;
    CDispModule m_DispModule;
    CEchoModule m_EchoModule;
    bool m_bEstablished = false;
    bool m_bStalled = false;
    uint32_t m_nGateId = 0;
    const TKeyRoutine* m_pRoutine = nullptr;
};

void CDispModule::OnRecv_GetResInfoSvrAddr()
{
    uint16_t port = m_pConn->Server()->ResInfoPort();
    if (port == 0) {
        m_pConn->Log("recv GetResInfoSvrAddr (302/1): no resource-information server, no answer");
        return;
    }
    const unsigned char loopback[4] = {127, 0, 0, 1};
    std::string ticket = "ticket-" + std::to_string(m_pConn->GateId());
    m_pConn->Log("recv GetResInfoSvrAddr (302/1); send RetResInfoSvrAddr 127.0.0.1:%u, ticket %s",
                 port, ticket.c_str());
    RetResInfoSvrAddr(ReadU32LE(loopback), port, TVecChar(ticket.begin(), ticket.end()));
}

bool CEchoModule::OnMsg(const char* body, unsigned int len)
{
    if (RefLogShown())
        m_pConn->Log("recv echo module message %u (%u bytes): %s; sent back",
                     len >= 4 ? ReadU16LE(body + 2) : 0u, len, HexStart(body, len).c_str());
    return m_pSender && m_pSender->Send(body, len);
}

}  // namespace

CRefGateServer::CRefGateServer()
    : m_Listener("gate", [this] { return new CGateConn(this); }), m_Random(qxplat::TickCountMs())
{
}

bool CRefGateServer::Start(unsigned short port) { return m_Listener.Start(port); }

bool CRefGateServer::KnownServerHalf(uint32_t gateId, unsigned char half[16]) const
{
    auto it = m_ServerHalves.find(gateId);
    if (it == m_ServerHalves.end())
        return false;
    memcpy(half, it->second.data(), 16);
    return true;
}

void CRefGateServer::RememberServerHalf(uint32_t gateId, const unsigned char half[16])
{
    m_ServerHalves[gateId].assign(reinterpret_cast<const char*>(half), 16);
    // Gate ids only grow: the oldest are forgotten first, and a client that
    // comes back after that simply gets a new key half.
    while (m_ServerHalves.size() > kRememberedGateIds) m_ServerHalves.erase(m_ServerHalves.begin());
}
