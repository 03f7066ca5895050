#pragma once

#include "QXNetEngine.h"
#include "common/msgdisp/msgdisp.h"
#include "common/msgsocket/framecutter.h"
#include "common/msgsocket/msgsocket.h"
#include "qxnetengine/gameclient/gameclientsender.h"

#include <atomic>
#include <string>

// The game's own connection to its game server. Incoming frames are
// pkgLen, token (the client id), then one package for the dispatcher.
class CGameClient : public IGameClient, public CMsgSocket, private IFrameOwner {
public:
    // Largest pkgLen of a frame that can hold a valid package.
    static const unsigned int kMaxFrameLen = 0xFFFF + 8;

    CGameClient();
    ~CGameClient() override;

    int QXNET_CALL Init(unsigned int myId, IGameClientHandler* handler) override;
    int QXNET_CALL Connect(const char* ip, unsigned int port) override;
    IMsgDisp* QXNET_CALL GetMsgDisp() override;
    IMsgSender* QXNET_CALL GetSender() override;
    void QXNET_CALL Release() override;

    void OnConnect(bool success) override;
    void OnClose() override;
    unsigned int OnRecv(const char* data, unsigned int len) override;
    // An overflow on a game thread: the game hears OnClose there, inside
    // its Send, as it would on the window's thread.
    void OnSendClosed() override;

    unsigned int GetSenderCapacity() const { return m_Sender.GetCapacity(); }
    // The dispatcher in any state of the socket, for code that feeds the
    // receive path without a connection (the fuzzers).
    CMsgDisp& GetDispatcher() { return m_MsgDisp; }

private:
    // Detaches the handler and tells it of the close, once per close
    // whichever thread gets there.
    void ReportClose();
    Verdict CheckFrameLen(uint32_t len) override;
    bool OnFrame(const char* data, uint32_t len) override;
    bool IsCutStopped() override { return IsDeletePending(); }

    unsigned int m_MyID;
    // Taken by whichever thread reports the close.
    std::atomic<IGameClientHandler*> m_pHandler;
    CFrameCutter m_Cutter;
    CMsgDisp m_MsgDisp;
    CGameClientSender m_Sender;
};
