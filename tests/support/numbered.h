#pragma once
// Numbered messages for tests that send from several threads at once. Each
// body carries its thread and running number and bytes that follow from
// both, so a lost, repeated, reordered or altered message shows.

#include "QXNetEngine.h"
#include "common/msgsocket/msgsocket.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

// Message seq of thread t: module, message id t, u32 seq, then filler; the
// length (10 to maxLen bytes) follows from seq.
std::string NumberedBody(uint16_t module, uint16_t thread, uint32_t seq, unsigned int maxLen);

// Checks numbered messages as they arrive (on the window's thread).
class CNumberedChecker : public IMsgHandler {
public:
    CNumberedChecker(uint16_t module, unsigned int threads, unsigned int maxLen);

    bool QXNET_CALL OnMsg(const char* body, unsigned int len) override;
    IMsgSender* QXNET_CALL SetSender(IMsgSender*) override { return nullptr; }
    unsigned short QXNET_CALL GetModuleId() override { return m_nModule; }

    // Messages of thread t that arrived in order so far.
    uint32_t Received(unsigned int t) const { return m_Next.at(t); }
    uint32_t Total() const;
    // Messages that were not the next one of their thread, or not its bytes.
    unsigned int Faults() const { return m_nFaults; }

private:
    uint16_t m_nModule;
    unsigned int m_nMaxLen;
    std::vector<uint32_t> m_Next;
    unsigned int m_nFaults = 0;
};

// One sender a game thread writes to, and the socket behind it.
struct TSendChannel {
    IMsgSender* sender = nullptr;
    // When set, the thread waits before each message until the send buffer
    // has room for one frame from every thread: the buffer fills and is
    // flushed, but never overflows.
    CMsgSocket* socket = nullptr;
    uint16_t module = 0;
    unsigned int maxLen = 0;
    // Results, read after Join.
    uint32_t sent = 0;        // Send returned true this often, in a row from 0
    bool refused = false;     // Send returned false: the thread stopped here
    unsigned int queued = 0;  // the buffer held bytes when the thread looked
};

// A game thread: sends count numbered messages through each channel in
// turn, until a Send returns false on it.
class CNumberedSender {
public:
    CNumberedSender(uint16_t thread, std::vector<TSendChannel> channels, uint32_t count,
                    unsigned int threads);
    ~CNumberedSender() { Join(); }
    void Start();
    void Join();
    bool Done() const { return m_bDone.load(); }
    const TSendChannel& Channel(size_t i) const { return m_Channels.at(i); }
    bool TimedOut() const { return m_bTimedOut; }

private:
    void Run();
    bool WaitForRoom(const TSendChannel& c);

    uint16_t m_nThread;
    std::vector<TSendChannel> m_Channels;
    uint32_t m_nCount;
    unsigned int m_nThreads;
    bool m_bTimedOut = false;
    std::atomic<bool> m_bDone{false};
    std::thread m_Thread;
};
