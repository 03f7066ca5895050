#include "support/numbered.h"

#include "common/bytes/byteorder.h"
#include "support/pump.h"

#include <chrono>

namespace {

// The send buffer of the game client and of the gate connection.
const unsigned int kSendCapacity = 4096;
// A frame adds at most this much to a body (the gate's length, package
// prefix and padding).
const unsigned int kFrameOverhead = 32;
const auto kRoomWait = std::chrono::seconds(20);

}  // namespace

std::string NumberedBody(uint16_t module, uint16_t thread, uint32_t seq, unsigned int maxLen)
{
    size_t len = 10 + (seq * 37u + thread * 11u) % (maxLen - 9);
    std::string body(len, '\0');
    WriteU16LE(&body[0], module);
    WriteU16LE(&body[2], thread);
    WriteU32LE(&body[4], seq);
    for (size_t k = 8; k < len; ++k) body[k] = static_cast<char>(seq * 31u + k * 7u + thread);
    return body;
}

CNumberedChecker::CNumberedChecker(uint16_t module, unsigned int threads, unsigned int maxLen)
    : m_nModule(module), m_nMaxLen(maxLen), m_Next(threads, 0)
{
}

bool CNumberedChecker::OnMsg(const char* body, unsigned int len)
{
    if (len < 8 || ReadU16LE(body + 2) >= m_Next.size()) {
        ++m_nFaults;
        return true;
    }
    uint16_t thread = ReadU16LE(body + 2);
    uint32_t seq = ReadU32LE(body + 4);
    if (seq != m_Next[thread] ||
        std::string(body, len) != NumberedBody(m_nModule, thread, seq, m_nMaxLen))
        ++m_nFaults;
    m_Next[thread] = seq + 1;
    return true;
}

uint32_t CNumberedChecker::Total() const
{
    uint32_t total = 0;
    for (uint32_t n : m_Next) total += n;
    return total;
}

CNumberedSender::CNumberedSender(uint16_t thread, std::vector<TSendChannel> channels,
                                 uint32_t count, unsigned int threads)
    : m_nThread(thread), m_Channels(std::move(channels)), m_nCount(count), m_nThreads(threads)
{
}

void CNumberedSender::Start()
{
    m_Thread = std::thread([this] { Run(); });
}

void CNumberedSender::Join()
{
    if (m_Thread.joinable())
        m_Thread.join();
}

bool CNumberedSender::WaitForRoom(const TSendChannel& c)
{
    unsigned int room = m_nThreads * (c.maxLen + kFrameOverhead);
    auto deadline = std::chrono::steady_clock::now() + kRoomWait;
    for (;;) {
        // Room comes from a flush on the window's thread: wait for its next
        // turn (looked at before the buffer, so no turn is missed).
        uint64_t turn = PumpTurns();
        if (c.socket->GetSendQueued() + room <= kSendCapacity)
            return true;
        // A closed connection keeps what it could not send; the next Send
        // refuses, so there is nothing to wait for.
        if (!c.socket->IsConnected())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        WaitForPumpTurn(turn, 50);
    }
}

void CNumberedSender::Run()
{
    for (uint32_t seq = 0; seq < m_nCount; ++seq) {
        bool any = false;
        for (TSendChannel& c : m_Channels) {
            if (c.refused)
                continue;
            any = true;
            if (c.socket) {
                if (c.socket->GetSendQueued() > 0)
                    ++c.queued;
                if (!WaitForRoom(c)) {
                    m_bTimedOut = true;
                    m_bDone = true;
                    return;
                }
            }
            std::string body = NumberedBody(c.module, m_nThread, seq, c.maxLen);
            if (c.sender->Send(body.data(), static_cast<unsigned int>(body.size())))
                ++c.sent;
            else
                c.refused = true;
        }
        if (!any)
            break;
    }
    m_bDone = true;
}
