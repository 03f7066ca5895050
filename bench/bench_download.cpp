// A resource update of a 20 MiB package set served by the reference
// resource-information server, against a raw TCP transfer of the same bytes
// into files.
#include "bench.h"
#include "engineenv.h"
#include "qxnetengine/archive/ziparchive.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>
#include <vector>

namespace {

const int kPackages = 4;
const size_t kDataBytes = 5u << 20;  // per package; incompressible, so the set is ~20 MiB
const unsigned short kResInfoModule = 300;

struct TPackageSet {
    std::vector<std::string> names;  // VERSION.SUBNO
    std::vector<std::string> bytes;  // each whole file
    size_t total = 0;
};

// ZIP archives of 1.xml and one large resource each, where the server looks.
const TPackageSet& Packages()
{
    static TPackageSet set = [] {
        TPackageSet s;
        const std::string dir = CEngineEnv::Get().PackageDir();
        std::mt19937 rnd(17);
        for (int i = 1; i <= kPackages; ++i) {
            const std::string name = "1." + std::to_string(i);
            const std::string xml = dir + "index.xml", data = dir + "data.bin";
            {
                std::ofstream x(xml, std::ios::binary);
                x << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n<Record kind=\"blob\" "
                     "file=\"data.bin\"><ResID>"
                  << 1000 + i << "</ResID><PackageID>blob_" << i
                  << "</PackageID></Record>\n</root>\n";
                std::ofstream d(data, std::ios::binary);
                std::string block(kDataBytes, '\0');
                for (char& c : block) c = static_cast<char>(rnd());
                d << block;
            }
            CZipArchive zip;
            if (!zip.Open((dir + name).c_str(), CZipArchive::kModeCreate) ||
                !zip.AddFile("1.xml", xml.c_str()) || !zip.AddFile("data.bin", data.c_str()) ||
                !zip.Close())
                BenchFail("cannot write the package " + dir + name);
            std::remove(xml.c_str());
            std::remove(data.c_str());
            std::ifstream in(dir + name, std::ios::binary);
            s.names.push_back(name);
            s.bytes.emplace_back(std::istreambuf_iterator<char>(in),
                                 std::istreambuf_iterator<char>());
            s.total += s.bytes.back().size();
        }
        return s;
    }();
    return set;
}

// Module 300: the engine's answers to a resource update.
class CUpdateHandler : public CCountingHandler {
public:
    CUpdateHandler() : CCountingHandler(kResInfoModule) {}
    bool QXNET_CALL OnMsg(const char* body, unsigned int len) override
    {
        if (len >= 16 && body[2] == 1) {  // RetVersions: result, version, record count
            m_nResult = static_cast<int>(ReadU32(body + 4));
            m_nExpected = ReadU32(body + 12);
            m_bAnswered = true;
        } else if (len >= 4 && body[2] == 2) {
            ++m_nRecords;
        }
        return true;
    }
    void Reset() { m_bAnswered = false, m_nRecords = 0, m_nExpected = 0, m_nResult = -1; }
    bool Done() const { return m_bAnswered && m_nRecords >= m_nExpected; }

    bool m_bAnswered = false;
    unsigned m_nRecords = 0, m_nExpected = 0;
    int m_nResult = -1;

private:
    static unsigned ReadU32(const char* p)
    {
        const unsigned char* u = reinterpret_cast<const unsigned char*>(p);
        return u[0] | u[1] << 8 | u[2] << 16 | static_cast<unsigned>(u[3]) << 24;
    }
};

// A real update writes new files: the last iteration's go first, untimed,
// so that neither side pays for replacing them.
void RemoveFiles(benchmark::State& st, const std::string& prefix,
                 const std::vector<std::string>& names)
{
    st.PauseTiming();
    for (const std::string& name : names) std::remove((prefix + name).c_str());
    st.ResumeTiming();
}

std::unique_ptr<CGateSession> g_pSession;
CUpdateHandler g_Handler;

void EngineUpdate(benchmark::State& st)
{
    const TPackageSet& set = Packages();
    CUpdateHandler& handler = g_Handler;
    if (!g_pSession) {
        g_pSession.reset(new CGateSession);
        if (!g_pSession->Open())
            BenchFail("the net engine did not log in for the resource update");
        g_pSession->Engine()->GetMsgDisp()->RegisterHandler(&handler);
    }
    CGateSession& session = *g_pSession;
    const char getVersions[8] = {static_cast<char>(kResInfoModule & 0xFF),
                                 static_cast<char>(kResInfoModule >> 8),
                                 1,
                                 0,
                                 0,
                                 0,
                                 0,
                                 0};
    const std::string resInfo = EngineDir() + "ResInfo/";
    for (auto _ : st) {
        RemoveFiles(st, resInfo, set.names);
        handler.Reset();
        IMsgSender* sender = session.Engine()->GetSender();
        if (!sender || !sender->Send(getVersions, sizeof getVersions) ||
            !CEngineEnv::Get().PumpUntil([&] { return handler.Done(); }, 120000) ||
            handler.m_nResult != 0 || handler.m_nRecords != kPackages) {
            st.SkipWithError("the resource update did not finish");
            break;
        }
    }
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * set.total));
}

// Up to len bytes from a non-blocking socket, waiting up to 5 s for the
// first; 0 when it closed, failed or stayed silent.
ssize_t RecvSome(int fd, char* buf, size_t len)
{
    for (;;) {
        const ssize_t n = recv(fd, buf, len, 0);
        if (n > 0)
            return n;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            return 0;
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 5000) != 1)
            return 0;
    }
}

// The same bytes over a loopback socket: a sender thread writes each file
// as its own server reads it, the receiver writes each into a file.
void RawTransfer(benchmark::State& st)
{
    const TPackageSet& set = Packages();
    int lfd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t alen = sizeof a;
    if (lfd < 0 || bind(lfd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(lfd, 1) != 0 || getsockname(lfd, reinterpret_cast<sockaddr*>(&a), &alen) != 0)
        BenchFail("the raw transfer cannot listen");
    std::thread server([&] {
        int fd = accept(lfd, nullptr, nullptr);
        char ask;
        while (fd >= 0 && recv(fd, &ask, 1, MSG_WAITALL) == 1) {
            for (const std::string& file : set.bytes) {
                size_t at = 0;
                while (at < file.size()) {
                    ssize_t n = send(fd, file.data() + at, file.size() - at, MSG_NOSIGNAL);
                    if (n <= 0)
                        break;
                    at += static_cast<size_t>(n);
                }
            }
        }
        if (fd >= 0)
            close(fd);
    });
    CRawClient client;
    if (!client.Connect(ntohs(a.sin_port)))
        BenchFail("the raw transfer cannot connect");
    const std::string dir = CEngineEnv::Get().ScratchDir() + "raw-";
    // Each read takes what the socket holds into one fixed buffer, whose
    // bytes go straight to the file they belong to: no copy, no growth.
    std::vector<char> buf(256 * 1024);
    size_t held = 0, used = 0;
    for (auto _ : st) {
        RemoveFiles(st, dir, set.names);
        if (!client.SendAll("?", 1))
            break;
        for (size_t i = 0; i < set.bytes.size(); ++i) {
            FILE* f = std::fopen((dir + set.names[i]).c_str(), "wb");
            size_t got = 0, want = set.bytes[i].size();
            while (f && got < want) {
                if (used == held) {
                    const ssize_t n = RecvSome(client.Fd(), buf.data(), buf.size());
                    if (n <= 0)
                        break;
                    held = static_cast<size_t>(n), used = 0;
                }
                size_t take = std::min(held - used, want - got);
                std::fwrite(buf.data() + used, 1, take, f);
                used += take;
                got += take;
            }
            if (!f || std::fclose(f) != 0 || got != want) {
                st.SkipWithError("the raw transfer stalled");
                break;
            }
        }
    }
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * set.total));
    shutdown(client.Fd(), SHUT_RDWR);
    shutdown(lfd, SHUT_RDWR);
    close(lfd);
    server.join();
    for (const std::string& name : set.names) std::remove((dir + name).c_str());
}

}  // namespace

void RegisterDownloadBenchmarks()
{
    // Two threads trading requests and pieces feel every other job on the
    // machine: more repetitions, of which the summary keeps the fastest.
    RegisterPair("Resource download", "20 MiB", EngineUpdate, RawTransfer, "raw TCP into files", 6);
}

void ReleaseDownloadSession() { g_pSession.reset(); }
