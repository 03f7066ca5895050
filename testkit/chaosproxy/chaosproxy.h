#pragma once
// A proxy on loopback that forwards TCP connections and UDP datagrams to a
// target on 127.0.0.1 and spoils them on the way as a profile says: latency,
// jitter, thin bandwidth, odd segments, lost, doubled and reordered
// datagrams, resets, stalls, refused connects. TCP runs on the calling
// thread's message loop (its timer on a hidden window of its own), UDP on a
// thread of its own. Every draw comes from the seed, so a run repeats.

#include "chaosprofile.h"
#include "platform/sockets.h"
#include "platform/thread.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct TChaosConfig {
    TChaosProfile profile;
    // Where to forward; 0: that side is not proxied.
    unsigned short tcpTarget = 0, udpTarget = 0;
    // Where to listen; 0: a port the system chooses.
    unsigned short tcpPort = 0, udpPort = 0;
    uint32_t seed = 1;
    // One line per decision that matters (a drop, a reset, a stall), from
    // either thread; none when empty.
    std::function<void(const std::string&)> log;
};

// What happened, for a test or a closing line; readable from any thread.
struct TChaosCounts {
    std::atomic<uint64_t> tcpAccepted{0}, tcpBytesUp{0}, tcpBytesDown{0}, tcpResets{0},
        tcpStalls{0};
    std::atomic<uint64_t> udpForwarded{0}, udpDropped{0}, udpDuplicated{0}, udpReordered{0};
};

class CChaosLink;
class CChaosListener;

class CChaosProxy {
public:
    CChaosProxy();
    ~CChaosProxy();

    // Starts the socket layer on the calling thread, then each side asked for.
    bool Start(const TChaosConfig& config);
    // Closes every connection and stops the UDP thread.
    void Stop();

    // The profile of TCP connections made from now on (those open keep
    // theirs), e.g. a fault for the first connection only. A refusing
    // profile closes the listening port; the next one opens it again.
    void SetTcpProfile(const TChaosProfile& profile);
    // The same, and for UDP datagrams from now on (a rotation of profiles).
    void SetProfile(const TChaosProfile& profile);

    unsigned short TcpPort() const { return m_nTcpPort; }
    unsigned short UdpPort() const { return m_nUdpPort; }
    const TChaosCounts& Counts() const { return m_Counts; }

    // Internal: the timer's turn and the links' bookkeeping.
    void OnTick();
    void Log(const char* fmt, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    uint64_t NowMs() const;
    CChaosLink* NewLink();
    const TChaosConfig& Config() const { return m_Config; }
    TChaosCounts& MutableCounts() { return m_Counts; }

private:
    CChaosProxy(const CChaosProxy&) = delete;
    CChaosProxy& operator=(const CChaosProxy&) = delete;

    // UDP keeps the profile it started with.
    void RunUdp(const TChaosProfile& profile);

    TChaosConfig m_Config;
    TChaosCounts m_Counts;
    std::unique_ptr<CChaosListener> m_pListener;
    std::vector<std::unique_ptr<CChaosLink>> m_Links;
    unsigned short m_nTcpPort = 0, m_nUdpPort = 0;
    uint32_t m_nLinks = 0;
    bool m_bTimer = false;
    uint64_t m_nStartUs = 0;

    qxplat::SockHandle m_hUdp = qxplat::kInvalidSock;
    qxplat::ThreadHandle* m_pUdpThread = nullptr;
    std::atomic<bool> m_bStop{false};
    // A profile handed to the UDP thread; the generation says it is new.
    std::mutex m_UdpMutex;
    TChaosProfile m_UdpProfile;
    std::atomic<unsigned> m_nUdpGeneration{0};
};
