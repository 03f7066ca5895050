#include "dispserver.h"

#include "common/bytes/byteorder.h"
#include "common/protocols/dispproto.h"
#include "platform/sockaddr.h"

#include <cstring>

using namespace qxplat;

CFakeDispServer::CFakeDispServer()
{
    m_hOther = UdpOpen();
    // The system picks a free UDP port; the same TCP port may be taken (by
    // a connection's local end), so try again with another.
    for (int attempt = 0; attempt < 20 && !m_bTcp; ++attempt) {
        if (attempt > 0)
            BlockSockClose(m_hUdp);
        m_hUdp = UdpOpen();
        TSockAddrV4 a;
        EXPECT_TRUE(SockLocalAddr(m_hUdp, &a));
        m_nPort = a.portHostOrder;
        m_bTcp = m_Tcp.Listen(m_nPort);
    }
    m_Thread = std::thread([this] { Run(); });
}

CFakeDispServer::~CFakeDispServer()
{
    m_bStop = true;
    m_Thread.join();
    BlockSockClose(m_hUdp);
    BlockSockClose(m_hOther);
    m_Tcp.Close();
}

void CFakeDispServer::Script(std::vector<std::vector<TDatagram>> replies)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Replies = std::move(replies);
}

int CFakeDispServer::UdpRequests()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return static_cast<int>(m_Requests.size());
}

std::string CFakeDispServer::UdpRequest(int index)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Requests.at(static_cast<size_t>(index));
}

void CFakeDispServer::Run()
{
    char buf[2048];
    while (!m_bStop) {
        TSockAddrV4 from;
        int n = UdpRecvFrom(m_hUdp, buf, sizeof buf, &from, 20);
        if (n < 0)
            continue;
        std::vector<TDatagram> answer;
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Requests.emplace_back(buf, static_cast<size_t>(n));
            if (m_Requests.size() <= m_Replies.size())
                answer = m_Replies[m_Requests.size() - 1];
        }
        for (const TDatagram& d : answer)
            UdpSendTo(d.fromOtherPort ? m_hOther : m_hUdp, d.bytes.data(),
                      static_cast<int>(d.bytes.size()), from);
    }
}

static std::string Head(uint32_t type, size_t len)
{
    std::string r(len, '\0');
    WriteU32LE(&r[0], type);
    WriteU32LE(&r[4], DispProto::kMagic);
    return r;
}

std::string GateAddrReply(const char* addr, unsigned short port)
{
    std::string r = Head(DispProto::kTypeGateAddr, DispProto::kGateAddrLen);
    const char body[4] = {0x01, 0x02, 0x03, 0x04};  // the record at offset 46
    memcpy(&r[16], body, 4);
    uint32_t a = InetAddr(addr);
    memcpy(&r[46], &a, 4);
    WriteU16LE(&r[51], port);
    return r;
}

std::string NoticeReply(uint32_t code, int32_t value)
{
    std::string r = Head(DispProto::kTypeNotice, DispProto::kNoticeLen);
    WriteU32LE(&r[16], code);
    WriteU32LE(&r[20], static_cast<uint32_t>(value));
    return r;
}

std::string TooOldReply() { return Head(DispProto::kTypeTooOld, DispProto::kNoticeLen); }
