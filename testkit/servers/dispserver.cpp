#include "dispserver.h"

#include "common/protocols/dispproto.h"
#include "platform/blocksock.h"
#include "platform/sockaddr.h"
#include "platform/time.h"
#include "reflog.h"

#include <mutex>

using namespace qxplat;

namespace {

const char kWho[] = "disp";
std::mutex g_AnswerMutex;  // the UDP thread and the TCP side share the generator

// One request over TCP, answered once; the client closes afterwards.
class CDispTcpConn : public CRefConn {
public:
    explicit CDispTcpConn(CRefDispServer* server) : CRefConn("disp/tcp", 4096), m_pServer(server) {}

private:
    void OnInput() override
    {
        if (m_strIn.size() < DispProto::kRequestLen)
            return;
        if (m_strIn.size() > DispProto::kRequestLen || m_bAnswered) {
            Drop("more bytes than one request");
            return;
        }
        std::string reply = m_pServer->Answer(m_strIn.data(), m_strIn.size(), "TCP");
        if (reply.empty()) {
            Drop("not a valid request");
            return;
        }
        m_bAnswered = true;
        Out(reply.data(), reply.size());
    }

    CRefDispServer* m_pServer;
    bool m_bAnswered = false;
};

const char* AnswerName(uint32_t type)
{
    switch (type) {
    case DispProto::kTypeGateAddr: return "gate address (34)";
    case DispProto::kTypeNotice: return "notice (35)";
    default: return "client too old (36)";
    }
}

}  // namespace

CRefDispServer::CRefDispServer(const TDispConfig& config)
    : m_Config(config),
      m_Random(TickCountMs()),
      m_Tcp(kWho, [this] { return new CDispTcpConn(this); })
{
}

CRefDispServer::~CRefDispServer() { Stop(); }

bool CRefDispServer::Start(unsigned short port)
{
    // The system picks the UDP port; TCP then takes the same number, which
    // a lingering connection (TIME_WAIT) may still hold: then another pick.
    for (int attempt = 0;; ++attempt) {
        m_hUdp = UdpOpen(port);
        if (m_hUdp == kInvalidSock)
            return false;
        m_nPort = BoundPort(m_hUdp);
        if (m_Tcp.Start(m_nPort))
            break;
        BlockSockClose(m_hUdp);
        m_hUdp = kInvalidSock;
        if (port != 0 || attempt == 50)
            return false;
    }
    RefLog(kWho, "listening on UDP port %u", m_nPort);
    m_pUdpThread = StartThread([this] { RunUdp(); });
    return m_pUdpThread != nullptr;
}

void CRefDispServer::Stop()
{
    m_bStop = true;
    if (m_pUdpThread) {
        WaitThread(m_pUdpThread, -1);
        DetachThread(m_pUdpThread);
        m_pUdpThread = nullptr;
    }
    if (m_hUdp != kInvalidSock) {
        BlockSockClose(m_hUdp);
        m_hUdp = kInvalidSock;
    }
}

std::string CRefDispServer::Answer(const char* data, size_t len, const char* how)
{
    uint32_t clientVersion = 0;
    if (!DispProto::CheckRequest(data, len, &clientVersion)) {
        RefLog(kWho, "%s: %u bytes that are no valid request: %s", how, static_cast<unsigned>(len),
               HexStart(data, len).c_str());
        return std::string();
    }
    std::string reply;
    {
        std::lock_guard<std::mutex> lock(g_AnswerMutex);
        switch (m_Config.answer) {
        case TDispConfig::kGateAddr:
            reply =
                DispProto::MakeGateAddrReply(InetAddr("127.0.0.1"), m_Config.gatePort, m_Random);
            break;
        case TDispConfig::kNotice:
            reply = DispProto::MakeNoticeReply(m_Config.noticeCode, m_Config.noticeValue);
            break;
        case TDispConfig::kTooOld: reply = DispProto::MakeTooOldReply(); break;
        }
    }
    uint32_t type = static_cast<uint32_t>(m_Config.answer) + DispProto::kTypeGateAddr;
    RefLog(kWho, "%s: request of client version %u; answer %s, %u bytes%s", how, clientVersion,
           AnswerName(type), static_cast<unsigned>(reply.size()),
           m_Config.answer == TDispConfig::kGateAddr
               ? (": gate at 127.0.0.1:" + std::to_string(m_Config.gatePort)).c_str()
               : "");
    return reply;
}

void CRefDispServer::RunUdp()
{
    char buf[2048];
    while (!m_bStop) {
        TSockAddrV4 from;
        int n = UdpRecvFrom(m_hUdp, buf, sizeof buf, &from, 100);
        if (n < 0)
            continue;
        std::string reply = Answer(buf, static_cast<size_t>(n), "UDP");
        if (!reply.empty())
            UdpSendTo(m_hUdp, reply.data(), static_cast<int>(reply.size()), from);
    }
}
