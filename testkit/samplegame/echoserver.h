#pragma once
// A minimal game server for the sample game, on its own thread with blocking
// sockets on 127.0.0.1: it reads client frames (contLen, client id, len,
// body) and answers each with a server frame (pkgLen, token = client id,
// package = len + body). A body whose message id is 0xFFFF makes it close.

#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CEchoServer {
public:
    CEchoServer() = default;
    ~CEchoServer();
    bool Start();
    unsigned short Port() const { return m_nPort; }
    std::vector<std::string> Frames();  // every client frame received, whole

private:
    void Run();
    bool ReadAll(char* buf, size_t len);
    bool WriteAll(const char* buf, size_t len);

    uintptr_t m_hListen = ~uintptr_t(0);
    uintptr_t m_hClient = ~uintptr_t(0);
    unsigned short m_nPort = 0;
    std::thread m_Thread;
    std::mutex m_Mutex;
    std::vector<std::string> m_Frames;
};
