// The second gate baseline: a raw socket with the gate's framing and cipher
// done by OpenSSL, against an echo server on a thread of its own that
// decrypts and encrypts with OpenSSL too. Against it the engine's figure
// measures the engine, not the cipher.
#include "common/bytes/byteorder.h"
#include "engineenv.h"
#include "opensslcipher.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace {

const int kWaitMs = 5000;
// Both ends know the key: the handshake is not what is measured.
const unsigned char kKey[32] = {0x5A, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA,
                                0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x0F, 0x1E, 0x2D, 0x3C, 0x4B, 0x5A,
                                0x69, 0x78, 0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0xE1, 0xF0};
// The cipher text of the largest package, as the engine accepts it.
const uint32_t kMaxFrame = (4 + 4 + 0xFFFF + 15) / 16 * 16;

// A package (its length, then the body) that decrypted whole.
bool IsPackage(const std::string& pkg)
{
    return pkg.size() >= 8 && ReadU32LE(pkg.data()) == pkg.size() - 4;
}

// Bytes of the whole gate frame (4 + its length) at s[at]; 0 when not all
// there yet, and -1 (as size_t) for a length no frame can have.
size_t WholeGateFrame(const std::string& s, size_t at)
{
    if (s.size() - at < 4)
        return 0;
    const uint32_t len = ReadU32LE(s.data() + at);
    if (len > kMaxFrame)
        return static_cast<size_t>(-1);
    return s.size() - at >= 4 + static_cast<size_t>(len) ? 4 + static_cast<size_t>(len) : 0;
}

// One connection on a blocking socket: every frame decrypted, checked,
// encrypted again and sent back; the replies to one read go out in one send.
class CCipherEchoServer {
public:
    CCipherEchoServer() : m_Cipher(kKey)
    {
        m_nListen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t n = sizeof a;
        if (m_nListen < 0 || bind(m_nListen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            listen(m_nListen, 1) != 0 ||
            getsockname(m_nListen, reinterpret_cast<sockaddr*>(&a), &n) != 0)
            BenchFail("the ciphered echo server cannot listen");
        m_nPort = ntohs(a.sin_port);
        m_Thread = std::thread([this] { Serve(); });
    }
    ~CCipherEchoServer()
    {
        shutdown(m_nListen, SHUT_RDWR);
        if (m_nConn >= 0)
            shutdown(m_nConn, SHUT_RDWR);
        m_Thread.join();
        close(m_nListen);
        if (m_nConn >= 0)
            close(m_nConn);
    }
    unsigned short Port() const { return m_nPort; }

private:
    void Serve()
    {
        const int conn = accept4(m_nListen, nullptr, nullptr, SOCK_CLOEXEC);
        m_nConn = conn;
        if (conn < 0)
            return;
        std::string in, out, pkg;
        char buf[65536];
        for (;;) {
            const ssize_t got = recv(conn, buf, sizeof buf, 0);
            if (got <= 0)
                return;
            in.append(buf, static_cast<size_t>(got));
            size_t at = 0, whole;
            out.clear();
            while ((whole = WholeGateFrame(in, at)) != 0) {
                if (whole == static_cast<size_t>(-1) ||
                    !m_Cipher.DecryptInto(in.data() + at + 4, whole - 4, pkg) || !IsPackage(pkg))
                    return;
                at += whole;
                const size_t head = out.size();
                out.append(4, '\0');
                m_Cipher.EncryptAppend(pkg.data(), pkg.size(), out);
                WriteU32LE(&out[head], static_cast<uint32_t>(out.size() - head - 4));
            }
            in.erase(0, at);
            for (size_t sent = 0; sent < out.size();) {
                const ssize_t n = send(conn, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
                if (n <= 0)
                    return;
                sent += static_cast<size_t>(n);
            }
        }
    }

    COpenSslGateCipher m_Cipher;
    int m_nListen = -1;
    std::atomic<int> m_nConn{-1};  // set by the server's thread
    unsigned short m_nPort = 0;
    std::thread m_Thread;
};

class CCipheredRawLink : public CLink {
public:
    explicit CCipheredRawLink(size_t bodyLen) : m_Cipher(kKey)
    {
        const std::string body = EchoBody(bodyLen);
        m_strPkg.assign(4, '\0');
        WriteU32LE(&m_strPkg[0], static_cast<uint32_t>(body.size()));
        m_strPkg += body;
        if (!m_Sock.Connect(m_Server.Port()))
            BenchFail("the raw socket did not connect to the ciphered echo server");
    }

    bool RoundTrip() override
    {
        if (!SendOne())
            return false;
        uint64_t got = 0;
        while (got == 0) {
            if (!m_Sock.ReadSome(kWaitMs) || !TakeFrames(got))
                return false;
        }
        return true;
    }

    bool Stream(uint64_t count, unsigned window) override
    {
        uint64_t sent = 0, received = 0;
        while (received < count) {
            while (sent < count && sent - received < window) {
                if (!SendOne())
                    return false;
                ++sent;
            }
            if (!m_Sock.ReadSome(kWaitMs) || !TakeFrames(received))
                return false;
        }
        return true;
    }

private:
    // Each message encrypted as it goes, as the engine does.
    bool SendOne()
    {
        m_strOut.assign(4, '\0');
        m_Cipher.EncryptAppend(m_strPkg.data(), m_strPkg.size(), m_strOut);
        WriteU32LE(&m_strOut[0], static_cast<uint32_t>(m_strOut.size() - 4));
        return m_Sock.SendAll(m_strOut.data(), m_strOut.size());
    }

    // Decrypts every whole frame in the input, as a game's handler would see
    // it; false on a frame that is no package.
    bool TakeFrames(uint64_t& count)
    {
        std::string& in = m_Sock.In();
        size_t at = 0, whole;
        while ((whole = WholeGateFrame(in, at)) != 0) {
            if (whole == static_cast<size_t>(-1) ||
                !m_Cipher.DecryptInto(in.data() + at + 4, whole - 4, m_strPlain) ||
                !IsPackage(m_strPlain))
                return false;
            at += whole;
            ++count;
        }
        in.erase(0, at);
        return true;
    }

    CCipherEchoServer m_Server;
    COpenSslGateCipher m_Cipher;
    CRawClient m_Sock;
    std::string m_strPkg, m_strOut, m_strPlain;
};

}  // namespace

std::unique_ptr<CLink> OpenCipheredRawLink(size_t bodyLen)
{
    return std::unique_ptr<CLink>(new CCipheredRawLink(bodyLen));
}
