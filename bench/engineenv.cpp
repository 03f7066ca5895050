#include "engineenv.h"

#include "reflog.h"
#include "refserversthread.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>

struct CEngineEnv::TServers {
    CRefServersThread thread;
};

void BenchFail(const std::string& why)
{
    std::fprintf(stderr, "qxbench: %s\n", why.c_str());
    std::exit(1);
}

std::string EchoBody(size_t len)
{
    std::string b(len, '\0');
    b[0] = static_cast<char>(kEchoModule & 0xFF);
    b[1] = static_cast<char>(kEchoModule >> 8);
    b[2] = 1;
    for (size_t i = 4; i < len; ++i) b[i] = static_cast<char>('a' + i % 26);
    return b;
}

CEngineEnv& CEngineEnv::Get()
{
    static CEngineEnv env;
    return env;
}

CEngineEnv::CEngineEnv() : m_pServers(new TServers)
{
    if (!LoadEngine(&m_Lib))
        BenchFail("cannot load libqxnetengine.so beside the program");
    m_Lib.Init(0, 0);
    // Files go to memory when the machine has /dev/shm: a disk's write-back
    // swings a 20 MiB download from one run to the next. The engine's ResInfo
    // beside the library points there.
    struct stat st;
    m_strScratchDir = stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode)
                          ? "/dev/shm/qxbench-" + std::to_string(getpid()) + "/"
                          : EngineDir() + "bench-scratch/";
    m_strPackageDir = m_strScratchDir + "packages/";
    const std::string resInfo = EngineDir() + "ResInfo";
    if (system(("rm -rf '" + m_strScratchDir + "' '" + resInfo + "' && mkdir -p '" +
                m_strPackageDir + "' '" + m_strScratchDir + "resinfo' && ln -s '" +
                m_strScratchDir + "resinfo' '" + resInfo + "'")
                   .c_str()) != 0)
        BenchFail("cannot make " + m_strScratchDir);
    SetRefLogQuiet(true);
    TRefServersConfig config;
    config.dispPort = config.gatePort = config.resInfoPort = config.gamePort = 0;
    config.packageDir = m_strPackageDir;
    if (!m_pServers->thread.Start(config))
        BenchFail("the reference servers did not start");
    std::ofstream ini(EngineDir() + "SvrAddr.ini");
    ini << "[SvrAddr]\nIP=127.0.0.1\nPort=" << m_pServers->thread.DispPort() << "\nTCP=-1\n";
    if (!ini)
        BenchFail("cannot write SvrAddr.ini");
}

CEngineEnv::~CEngineEnv()
{
    m_pServers.reset();
    if (system(("rm -rf '" + m_strScratchDir + "' '" + EngineDir() + "ResInfo'").c_str()) != 0)
        std::fprintf(stderr, "qxbench: could not remove %s\n", m_strScratchDir.c_str());
}

unsigned short CEngineEnv::DispPort() const { return m_pServers->thread.DispPort(); }

unsigned short CEngineEnv::GamePort() const { return m_pServers->thread.GamePort(); }

unsigned short CEngineEnv::ResInfoPort() const { return m_pServers->thread.ResInfoPort(); }

bool CEngineEnv::PumpOnce(int timeoutMs) { return Pump(timeoutMs) >= 0; }

int64_t CEngineEnv::NowMs() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

namespace {

const int kWaitMs = 5000;

class CGameEvents : public IGameClientHandler {
public:
    void QXNET_CALL OnConnect(int result) override { m_nConnect = result; }
    void QXNET_CALL OnClose() override { m_bClosed = true; }
    int m_nConnect = -1;
    bool m_bClosed = false;
};

// Sends through an IMsgSender and pumps the engine until the echoes are in.
class CEngineLink : public CLink {
public:
    bool RoundTrip() override
    {
        const uint64_t want = m_Echo.m_nReceived + 1;
        if (!m_pSender->Send(m_strBody.data(), static_cast<unsigned int>(m_strBody.size())))
            return false;
        return CEngineEnv::Get().PumpUntil([&] { return m_Echo.m_nReceived >= want; }, kWaitMs);
    }

    bool Stream(uint64_t count, unsigned window) override
    {
        const uint64_t start = m_Echo.m_nReceived, end = start + count;
        uint64_t sent = 0;
        while (m_Echo.m_nReceived < end) {
            while (sent < count && sent - (m_Echo.m_nReceived - start) < window) {
                if (!m_pSender->Send(m_strBody.data(), static_cast<unsigned int>(m_strBody.size())))
                    return false;
                ++sent;
            }
            const uint64_t before = m_Echo.m_nReceived;
            if (!CEngineEnv::Get().PumpUntil([&] { return m_Echo.m_nReceived > before; }, kWaitMs))
                return false;
        }
        return true;
    }

protected:
    explicit CEngineLink(size_t bodyLen) : m_strBody(EchoBody(bodyLen)), m_Echo(kEchoModule) {}

    std::string m_strBody;
    CCountingHandler m_Echo;
    IMsgSender* m_pSender = nullptr;
};

class CGameClientLink : public CEngineLink {
public:
    explicit CGameClientLink(size_t bodyLen) : CEngineLink(bodyLen)
    {
        CEngineEnv& env = CEngineEnv::Get();
        env.Lib().GameClientGet(&m_pClient, 0);
        if (!m_pClient || !m_pClient->Init(kClientId, &m_Events) ||
            !m_pClient->Connect("127.0.0.1", env.GamePort()) ||
            !env.PumpUntil([&] { return m_Events.m_nConnect != -1; }) || m_Events.m_nConnect != 1)
            BenchFail("the game client did not connect to the reference game server");
        m_pClient->GetMsgDisp()->RegisterHandler(&m_Echo);
        m_pSender = m_pClient->GetSender();
    }
    ~CGameClientLink() override { m_pClient->Release(); }

private:
    IGameClient* m_pClient = nullptr;
    CGameEvents m_Events;
};

class CGateLink : public CEngineLink {
public:
    explicit CGateLink(size_t bodyLen) : CEngineLink(bodyLen)
    {
        if (!m_Session.Open())
            BenchFail("the net engine did not log in at the reference gate");
        m_Session.Engine()->GetMsgDisp()->RegisterHandler(&m_Echo);
        m_pSender = m_Session.Engine()->GetSender();
    }

private:
    CGateSession m_Session;
};

class CRawLink : public CLink {
public:
    explicit CRawLink(size_t bodyLen) : m_strFrame(GameFrame(kClientId, EchoBody(bodyLen)))
    {
        if (!m_Sock.Connect(CEngineEnv::Get().GamePort()))
            BenchFail("the raw socket did not connect to the reference game server");
    }

    bool RoundTrip() override
    {
        if (!m_Sock.SendAll(m_strFrame.data(), m_strFrame.size()))
            return false;
        while (TakeFrames() == 0)
            if (!m_Sock.ReadSome(kWaitMs))
                return false;
        return true;
    }

    bool Stream(uint64_t count, unsigned window) override
    {
        uint64_t sent = 0, received = 0;
        while (received < count) {
            while (sent < count && sent - received < window) {
                if (!m_Sock.SendAll(m_strFrame.data(), m_strFrame.size()))
                    return false;
                ++sent;
            }
            if (!m_Sock.ReadSome(kWaitMs))
                return false;
            received += TakeFrames();
        }
        return true;
    }

private:
    // Cuts the whole frames out of the input, as a game would.
    uint64_t TakeFrames()
    {
        std::string& in = m_Sock.In();
        size_t at = 0, whole;
        uint64_t n = 0;
        while ((whole = WholeGameFrame(in, at)) != 0) {
            at += whole;
            ++n;
        }
        in.erase(0, at);
        return n;
    }

    std::string m_strFrame;
    CRawClient m_Sock;
};

}  // namespace

bool CGateSession::Open()
{
    CEngineEnv& env = CEngineEnv::Get();
    env.Lib().NetEngineGet(&m_pEngine, 0);
    if (!m_pEngine || m_pEngine->Initialize(this) != 1 || m_pEngine->Connect(0) != 1)
        return false;
    return env.PumpUntil([&] { return m_bConnected || m_bEnded; }, 30000) && m_bConnected;
}

CGateSession::~CGateSession()
{
    if (m_pEngine)
        m_pEngine->Release();
}

std::unique_ptr<CLink> OpenGameClientLink(size_t bodyLen)
{
    return std::unique_ptr<CLink>(new CGameClientLink(bodyLen));
}

std::unique_ptr<CLink> OpenGateLink(size_t bodyLen)
{
    return std::unique_ptr<CLink>(new CGateLink(bodyLen));
}

std::unique_ptr<CLink> OpenRawLink(size_t bodyLen)
{
    return std::unique_ptr<CLink>(new CRawLink(bodyLen));
}
