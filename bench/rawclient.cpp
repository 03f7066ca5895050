#include "rawclient.h"

#include "common/bytes/byteorder.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>

CRawClient::~CRawClient()
{
    if (m_Fd >= 0)
        close(m_Fd);
}

bool CRawClient::Connect(unsigned short port)
{
    m_Fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_Fd < 0)
        return false;
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(m_Fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 && errno != EINPROGRESS)
        return false;
    pollfd p = {m_Fd, POLLOUT, 0};
    if (poll(&p, 1, 5000) != 1)
        return false;
    int err = 0;
    socklen_t n = sizeof err;
    return getsockopt(m_Fd, SOL_SOCKET, SO_ERROR, &err, &n) == 0 && err == 0;
}

bool CRawClient::SendAll(const char* data, size_t len)
{
    while (len > 0) {
        ssize_t n = send(m_Fd, data, len, MSG_NOSIGNAL);
        if (n > 0) {
            data += n;
            len -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return false;
        pollfd p = {m_Fd, POLLOUT, 0};
        if (poll(&p, 1, 5000) != 1)
            return false;
    }
    return true;
}

bool CRawClient::ReadSome(int timeoutMs)
{
    pollfd p = {m_Fd, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) != 1)
        return false;
    char buf[65536];
    for (;;) {
        ssize_t n = recv(m_Fd, buf, sizeof buf, 0);
        if (n > 0) {
            m_strIn.append(buf, static_cast<size_t>(n));
            if (static_cast<size_t>(n) < sizeof buf)
                return true;
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        if (n < 0 && errno == EINTR)
            continue;
        return false;  // closed or failed
    }
}

std::string GameFrame(unsigned int clientId, const std::string& body)
{
    std::string f(12, '\0');
    const uint32_t len = static_cast<uint32_t>(body.size());
    WriteU32LE(&f[0], len + 8);
    WriteU32LE(&f[4], clientId);
    WriteU32LE(&f[8], len);
    return f + body;
}

size_t WholeGameFrame(const std::string& s, size_t at)
{
    if (s.size() - at < 12)
        return 0;
    const size_t whole = 12 + static_cast<size_t>(ReadU32LE(s.data() + at + 8));
    return s.size() - at >= whole ? whole : 0;
}
