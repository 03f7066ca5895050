#include "samplegame/echoserver.h"

#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
typedef int socklen_t;
static void CloseSock(uintptr_t s) { closesocket(static_cast<SOCKET>(s)); }
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
static void CloseSock(uintptr_t s) { close(static_cast<int>(s)); }
#endif

namespace {

const uintptr_t kNone = ~uintptr_t(0);

uint32_t Get32(const char* p)
{
    const unsigned char* b = reinterpret_cast<const unsigned char*>(p);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

void Put32(char* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<char>(v >> (8 * i));
}

}  // namespace

CEchoServer::~CEchoServer()
{
    if (m_hListen != kNone)
        CloseSock(m_hListen);
    if (m_Thread.joinable())
        m_Thread.join();
}

bool CEchoServer::Start()
{
#ifdef _WIN32
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
#endif
    auto s = socket(AF_INET, SOCK_STREAM, 0);
    m_hListen = static_cast<uintptr_t>(s);
    sockaddr_in addr;
    memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(s, 1) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return false;
    m_nPort = ntohs(addr.sin_port);
    m_Thread = std::thread(&CEchoServer::Run, this);
    return true;
}

std::vector<std::string> CEchoServer::Frames()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Frames;
}

bool CEchoServer::ReadAll(char* buf, size_t len)
{
    while (len > 0) {
        auto n = recv(m_hClient, buf, static_cast<int>(len), 0);
        if (n <= 0)
            return false;
        buf += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

bool CEchoServer::WriteAll(const char* buf, size_t len)
{
    while (len > 0) {
        auto n = send(m_hClient, buf, static_cast<int>(len), 0);
        if (n <= 0)
            return false;
        buf += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

void CEchoServer::Run()
{
    auto c = accept(m_hListen, nullptr, nullptr);
    m_hClient = static_cast<uintptr_t>(c);
    if (m_hClient == kNone)
        return;
    for (;;) {
        char head[12];
        if (!ReadAll(head, 12))
            break;
        uint32_t contLen = Get32(head), id = Get32(head + 4), len = Get32(head + 8);
        if (contLen != len + 8 || len > 65535 || len < 4)
            break;
        std::string body(len, '\0');
        if (!ReadAll(&body[0], len))
            break;
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Frames.push_back(std::string(head, 12) + body);
        }
        if (static_cast<unsigned char>(body[2]) == 0xFF &&
            static_cast<unsigned char>(body[3]) == 0xFF)
            break;
        std::string reply(12, '\0');
        Put32(&reply[0], len + 8);
        Put32(&reply[4], id);
        Put32(&reply[8], len);
        reply += body;
        if (!WriteAll(reply.data(), reply.size()))
            break;
    }
    CloseSock(m_hClient);
}
