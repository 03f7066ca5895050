#pragma once
// The baseline: a plain non-blocking TCP client on 127.0.0.1 that waits with
// poll(), no engine in between. It speaks the game client's frame (the bytes
// that follow, the client id, one package), which the reference game server
// echoes unchanged.

#include <cstddef>
#include <string>

class CRawClient {
public:
    CRawClient() = default;
    ~CRawClient();

    bool Connect(unsigned short port);
    // Writes every byte, waiting for room when the socket would block.
    bool SendAll(const char* data, size_t len);
    // Waits up to timeoutMs for input, then appends all that is there to In().
    bool ReadSome(int timeoutMs);
    std::string& In() { return m_strIn; }
    int Fd() const { return m_Fd; }

private:
    CRawClient(const CRawClient&) = delete;
    CRawClient& operator=(const CRawClient&) = delete;

    int m_Fd = -1;
    std::string m_strIn;
};

// A game-client frame around the body: contLen, id, the package's length, the body.
std::string GameFrame(unsigned int clientId, const std::string& body);
// Bytes of the whole frame (12 + the package's length) at s[at], or 0.
size_t WholeGameFrame(const std::string& s, size_t at);
