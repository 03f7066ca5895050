#include "qxnetengine/gameclient/gameclient.h"

#include "common/bytes/byteorder.h"
#include "common/debug/qxassert.h"
#include "common/texts/texts.h"
#include "qxnetengine/log/logfile.h"

#include <cstring>

CGameClient::CGameClient() : CMsgSocket(1024, 4096), m_MyID(0), m_pHandler(nullptr)
{
    m_Sender.SetSocket(this);
}

CGameClient::~CGameClient() {}

int CGameClient::Init(unsigned int myId, IGameClientHandler* handler)
{
    m_MyID = myId;
    m_pHandler = handler;
    if (!myId || !handler)
        return 0;
    m_Sender.SetId(myId);
    return 1;
}

int CGameClient::Connect(const char* ip, unsigned int port)
{
    if (!ip || (port & 0xFFFF) == 0)
        return 0;
    return ConnectEx(ip, static_cast<unsigned short>(port), 1) ? 1 : 0;
}

IMsgDisp* CGameClient::GetMsgDisp() { return IsConnected() ? &m_MsgDisp : nullptr; }

IMsgSender* CGameClient::GetSender() { return IsConnected() ? &m_Sender : nullptr; }

void CGameClient::Release()
{
    m_pHandler = nullptr;  // this close is not reported to the game
    Shutdown();
    // Released from inside one of its own notifications, the object stays
    // until that notification has returned.
    DeleteLater();
}

void CGameClient::OnConnect(bool success)
{
    IGameClientHandler* handler = m_pHandler;
    QX_ASSERT(handler);
    if (handler)
        handler->OnConnect(success ? 1 : 0);
}

void CGameClient::OnClose()
{
    // Bytes of an unfinished frame belong to the connection that just ended;
    // they must not be taken for the start of the next one.
    m_strRecv.clear();
    if (!IsClosedBySend())
        ReportClose();
}

void CGameClient::OnSendClosed() { ReportClose(); }

void CGameClient::ReportClose()
{
    IGameClientHandler* handler = m_pHandler.exchange(nullptr);
    if (handler)
        handler->OnClose();
}

unsigned int CGameClient::OnRecv(const char* data, unsigned int len)
{
    // Everything is copied out and dropped from the socket before any handler
    // runs, so a handler that throws cannot have the same bytes delivered again.
    m_strRecv.append(data, len);
    ConsumeReceived(len);
    if (!DispMsg())
        Shutdown();
    return 0;
}

bool CGameClient::DispMsg()
{
    while (m_strRecv.size() >= 4) {
        uint32_t pkgLen = ReadU32LE(m_strRecv.data());
        // Too short for a token, or larger than any valid package: nothing
        // sensible can follow in this stream.
        if (pkgLen < 4 || pkgLen > kMaxFrameLen)
            return false;
        if (static_cast<uint64_t>(pkgLen) + 4 > m_strRecv.size())
            break;
        uint32_t token = ReadU32LE(m_strRecv.data() + 4);
        QX_ASSERT(token == m_MyID);
        (void)token;
        // The package leaves m_strRecv before it is handled, since a handler
        // may pump messages and receive more; a small one goes through the
        // stack so that steady traffic allocates nothing.
        const uint32_t n = pkgLen - 4;
        char local[512];
        std::string heap;
        const char* pkg = local;
        if (n <= sizeof local) {
            memcpy(local, m_strRecv.data() + 8, n);
        } else {
            heap.assign(m_strRecv, 8, n);
            pkg = heap.data();
        }
        m_strRecv.erase(0, pkgLen + 4);
        bool ok = m_MsgDisp.DispatchPkg(pkg, n);
        if (IsDeletePending())
            return true;  // a handler released the client
        if (ok)
            continue;
        switch (m_MsgDisp.GetErrorCode()) {
        case CMsgDisp::kNoHandler:
            GetLog("NetLog").Write(2, TXT_CANNOT_HANDLE_MSG, "CGameClient::DispMsg");
            break;
        case CMsgDisp::kRejected:
            GetLog("NetLog").Write(2, TXT_HANDLE_MSG_EXCEPTION, "CGameClient::DispMsg");
            break;
        default: return false;
        }
    }
    return true;
}
