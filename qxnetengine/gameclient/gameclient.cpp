#include "qxnetengine/gameclient/gameclient.h"

#include "common/bytes/byteorder.h"
#include "common/debug/qxassert.h"
#include "common/texts/texts.h"
#include "qxnetengine/log/logfile.h"

#include <cstring>

CGameClient::CGameClient()
    : CMsgSocket(1024, 4096), m_MyID(0), m_pHandler(nullptr), m_Cutter(this)
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
    m_Cutter.Reset();
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
    m_Cutter.Take(data, len);
    ConsumeReceived(len);
    if (!m_Cutter.Cut())
        Shutdown();
    return 0;
}

IFrameOwner::Verdict CGameClient::CheckFrameLen(uint32_t len)
{
    // Too short for a token, or larger than any valid package: nothing
    // sensible can follow in this stream.
    return len < 4 || len > kMaxFrameLen ? kClose : kTake;
}

bool CGameClient::OnFrame(const char* data, uint32_t len)
{
    uint32_t token = ReadU32LE(data);
    QX_ASSERT(token == m_MyID);
    (void)token;
    if (m_MsgDisp.DispatchPkg(data + 4, len - 4))
        return true;
    switch (m_MsgDisp.GetErrorCode()) {
    case CMsgDisp::kNoHandler:
        GetLog("NetLog").Write(2, TXT_CANNOT_HANDLE_MSG, "CGameClient::DispMsg");
        return true;
    case CMsgDisp::kRejected:
        GetLog("NetLog").Write(2, TXT_HANDLE_MSG_EXCEPTION, "CGameClient::DispMsg");
        return true;
    default: return false;
    }
}
