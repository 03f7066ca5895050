#pragma once
// The end-to-end benchmarks' world: the engine library loaded beside the
// program and driven through its exported ABI on the main thread, the
// reference servers on a thread of their own, and the game's side of the
// connections (handlers that count what comes back).

#include "QXNetEngine.h"
#include "loader/engineloader.h"
#include "rawclient.h"

#include <cstdint>
#include <memory>
#include <string>

const unsigned short kEchoModule = 7;  // echoed by the game server and by the gate
const unsigned int kClientId = 0x5EED0001u;

// A message body of len bytes: module, message id, filler.
std::string EchoBody(size_t len);

// Counts what comes back for one module; remembers nothing else.
class CCountingHandler : public IMsgHandler {
public:
    // total, when given, counts this handler's messages too, along with
    // those of every other handler given it.
    explicit CCountingHandler(unsigned short module, uint64_t* total = nullptr)
        : m_nModule(module), m_pTotal(total)
    {
    }
    bool QXNET_CALL OnMsg(const char*, unsigned int) override
    {
        ++m_nReceived;
        if (m_pTotal)
            ++*m_pTotal;
        return true;
    }
    IMsgSender* QXNET_CALL SetSender(IMsgSender* sender) override
    {
        IMsgSender* old = m_pSender;
        m_pSender = sender;
        return old;
    }
    unsigned short QXNET_CALL GetModuleId() override { return m_nModule; }

    uint64_t m_nReceived = 0;

private:
    unsigned short m_nModule;
    uint64_t* m_pTotal;
    IMsgSender* m_pSender = nullptr;
};

// A net engine, discovered and logged in at the reference gate.
class CGateSession : public INetEngineHandler {
public:
    CGateSession() = default;
    ~CGateSession();
    // Discovery through the dispatch server, then the login; false on failure.
    bool Open();
    INetEngine* Engine() const { return m_pEngine; }

    void QXNET_CALL OnDispSvrAddr(int, const char*, int) override {}
    void QXNET_CALL OnGateSvrAddr(int ok, const char*, unsigned int) override
    {
        if (!ok)
            m_bEnded = true;
    }
    void QXNET_CALL OnGateLogin(int accepted) override
    {
        if (!accepted)
            m_bEnded = true;
    }
    void QXNET_CALL OnGateClosed(int) override { m_bEnded = true; }
    void QXNET_CALL OnConnected() override { m_bConnected = true; }
    void QXNET_CALL OnReconnected(int) override {}
    unsigned int QXNET_CALL GetClientVersion() override { return 1; }
    void QXNET_CALL OnDispNotice(unsigned int, int) override { m_bEnded = true; }

private:
    CGateSession(const CGateSession&) = delete;
    CGateSession& operator=(const CGateSession&) = delete;

    INetEngine* m_pEngine = nullptr;
    bool m_bConnected = false, m_bEnded = false;
};

// Something that sends a message and waits for it to come back.
class CLink {
public:
    virtual ~CLink() = default;
    // One message out and back; false when it did not come back in time.
    virtual bool RoundTrip() = 0;
    // count messages out and back with at most window in flight.
    virtual bool Stream(uint64_t count, unsigned window) = 0;
};

// A game client connected to the reference game server.
std::unique_ptr<CLink> OpenGameClientLink(size_t bodyLen);
// A net engine logged in at the reference gate (discovery included),
// talking to the gate's echo module.
std::unique_ptr<CLink> OpenGateLink(size_t bodyLen);
// The raw socket against the reference game server.
std::unique_ptr<CLink> OpenRawLink(size_t bodyLen);
// The raw socket with the gate's framing and cipher done by OpenSSL, against
// an echo server that does the same on a thread of its own.
std::unique_ptr<CLink> OpenCipheredRawLink(size_t bodyLen);

class CEngineEnv {
public:
    // Loads the library, starts the servers, writes SvrAddr.ini; exits the
    // program when any of it fails.
    static CEngineEnv& Get();

    const TEngineExports& Lib() const { return m_Lib; }
    unsigned short DispPort() const;
    unsigned short GamePort() const;
    unsigned short ResInfoPort() const;
    // Where the resource-information server finds its packages.
    const std::string& PackageDir() const { return m_strPackageDir; }
    // Where files are written: the engine's ResInfo and the raw transfer's.
    const std::string& ScratchDir() const { return m_strScratchDir; }
    // Pumps the engine's loop until done() or timeoutMs passes.
    template <typename F>
    bool PumpUntil(F done, int timeoutMs = 10000);

private:
    CEngineEnv();
    ~CEngineEnv();
    bool PumpOnce(int timeoutMs);
    int64_t NowMs() const;

    TEngineExports m_Lib;
    std::string m_strScratchDir, m_strPackageDir;
    struct TServers;
    std::unique_ptr<TServers> m_pServers;
};

template <typename F>
bool CEngineEnv::PumpUntil(F done, int timeoutMs)
{
    const int64_t deadline = NowMs() + timeoutMs;
    while (!done()) {
        if (NowMs() > deadline)
            return false;
        PumpOnce(100);
    }
    return true;
}

// Prints why and ends the program: a benchmark that cannot run has no figure.
[[noreturn]] void BenchFail(const std::string& why);
