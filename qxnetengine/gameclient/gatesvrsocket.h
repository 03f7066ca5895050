#pragma once
// The engine's connection to the gate server: a scrambled handshake that
// exchanges the key halves, then encrypted frames both ways.

#include "common/lock/lock.h"
#include "common/msgsocket/framecutter.h"
#include "common/msgsocket/msgsocket.h"
#include "common/protocols/gatehandshake.h"
#include "qxnetengine/keyroutine/keyroutine.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// What the gate connection needs of its owner, the engine: the key area
// (the client half, then the server half the handshake writes), the cipher
// under that key, the dispatcher for its packages, and its two reports, which
// it makes through the sync window.
class IGateSvrOwner {
public:
    static const size_t kKeyAreaLen = 32;
    virtual unsigned char* GetKeyArea() = 0;
    // Makes the whole key area the cipher's key.
    virtual void InstallGateKey() = 0;
    // Into buffers the connection keeps; Encrypt may run on a sending thread.
    virtual bool EncryptGateData(const char* data, size_t len, std::string& out) const = 0;
    virtual bool DecryptGateData(const char* data, size_t len, std::string& out) const = 0;
    virtual void DispatchGatePkg(const std::string& pkg) = 0;
    // code 0 accepted, 1 refused, 2 the connect failed.
    virtual void OnGateSvrLogin(unsigned int code, int32_t gateId) = 0;
    virtual void OnGateSvrClosed(unsigned int, int32_t) = 0;

protected:
    ~IGateSvrOwner() {}
};

class CGateSvrSocket : public CMsgSocket, private IFrameOwner {
public:
    enum GateSvrState { Idle = 0, Handshake = 1, Established = 2 };

    static const uint32_t kHeadLen = GateHandshake::kHeadLen;
    static const uint32_t kReplyBodyLen = GateHandshake::kReplyBodyLen;
    // The longest frame each state can take: a whole handshake reply, or the
    // cipher text of the largest package (4 + 0xFFFF bytes). A longer one
    // closes a handshake; once logged in it is skipped, as any frame the
    // dispatcher rejects is dropped.
    static const uint32_t kMaxHandshakeFrame = kHeadLen + kReplyBodyLen;
    static const uint32_t kMaxEncryptedFrame = (4 + 4 + 0xFFFF + 15) / 16 * 16;
    // A gate that has not answered the handshake this long after the connect
    // is closed as if it had closed the connection itself.
    static const unsigned int kHandshakeTimeoutMs = 15000;

    CGateSvrSocket(IGateSvrOwner* engine, uint32_t gateId);
    ~CGateSvrSocket() override;

    // Runs on whichever thread sends through the engine's package sender,
    // under that sender's lock; everything else here runs on the window's.
    void Send(const char* data, unsigned int len) override;
    void OnConnect(bool success) override;
    void OnClose() override;
    unsigned int OnRecv(const char* data, unsigned int len) override;
    void OnWatchdog() override;

    // The engine lets go: nothing more is reported to it.
    void Detach() { m_pEngine = nullptr; }
    // The most instructions the server's key routine may run. The fuzzers
    // lower it, so a routine that loops ends sooner under instrumentation.
    void SetKeyRoutineBudget(uint32_t budget) { m_nKeyRoutineBudget = budget; }
    uint32_t GetGateId() const { return m_GateId; }
    GateSvrState GetGateState() const { return static_cast<GateSvrState>(m_State.load()); }

private:
    Verdict CheckFrameLen(uint32_t len) override;
    bool OnFrame(const char* data, uint32_t len) override;
    bool IsCutStopped() override { return IsDeletePending(); }

    bool CheckReply(const std::string& msg);
    bool RunKeyRoutine(const std::string& msg, uint32_t skip);
    void ReportLogin(unsigned int code);

    IGateSvrOwner* m_pEngine;
    CFrameCutter m_Cutter;
    // The package being dispatched; frames are never handled nested.
    std::string m_strPlain;
    // The frame being sent, kept so a steady stream allocates nothing.
    CCritSection m_SendScratchLock;
    std::string m_strSendPkg;
    uint32_t m_GateId;
    // Read by Send on the game's sending threads.
    std::atomic<uint32_t> m_State;
    uint32_t m_nKeyRoutineBudget;
};
