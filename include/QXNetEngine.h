/*
 * QXNetEngine public interface.
 *
 * Everything a game needs to talk to the engine: the calling convention and
 * the interfaces that cross the library boundary. The interfaces are laid out
 * like COM interfaces (one vtable pointer, operations in a fixed slot order,
 * no virtual destructor), so a game compiled with MSVC can use the MinGW-built
 * DLL and the other way round. Do not reorder or insert operations.
 */
#ifndef QXNETENGINE_H
#define QXNETENGINE_H

#if defined(_WIN32) && !defined(_WIN64)
#define QXNET_CALL __stdcall
#else
#define QXNET_CALL
#endif

/* Receives message bodies: module id (u16), message id (u16), payload. */
class IMsgSender {
public:
    /* data: a message body of len bytes (not a package); true when taken. */
    virtual bool QXNET_CALL Send(const char* data, unsigned int len) = 0;

protected:
    ~IMsgSender() {}
};

class IMsgHandler {
public:
    /* One message body, module id first; true when understood and handled. */
    virtual bool QXNET_CALL OnMsg(const char* body, unsigned int len) = 0;
    /* Attaches the sender for the handler's own messages; returns the previous one. */
    virtual IMsgSender* QXNET_CALL SetSender(IMsgSender* sender) = 0;
    /* Constant while the handler is registered; 0 is reserved. */
    virtual unsigned short QXNET_CALL GetModuleId() = 0;

protected:
    ~IMsgHandler() {}
};

class IMsgDisp {
public:
    virtual bool QXNET_CALL RegisterHandler(IMsgHandler* handler) = 0;
    virtual bool QXNET_CALL UnregisterHandler(IMsgHandler* handler) = 0;

protected:
    ~IMsgDisp() {}
};

/* The game's callbacks for a game-client connection. */
class IGameClientHandler {
public:
    /* 1 when the connection is up, 0 when the connect failed. */
    virtual void QXNET_CALL OnConnect(int result) = 0;
    /* The connection ended; the client no longer has a handler until Init. */
    virtual void QXNET_CALL OnClose() = 0;

protected:
    ~IGameClientHandler() {}
};

/* A TCP connection to a game server whose frames carry the client id. */
class IGameClient {
public:
    /* Stores both values; 1 only when both are non-zero. */
    virtual int QXNET_CALL Init(unsigned int myId, IGameClientHandler* handler) = 0;
    /* Dotted IPv4 address (no host names) and port; the outcome arrives as OnConnect. */
    virtual int QXNET_CALL Connect(const char* ip, unsigned int port) = 0;
    /* Register module handlers here; null unless connected. */
    virtual IMsgDisp* QXNET_CALL GetMsgDisp() = 0;
    /* Send message bodies here; null unless connected. */
    virtual IMsgSender* QXNET_CALL GetSender() = 0;
    /* Closes without calling OnClose and destroys the object. */
    virtual void QXNET_CALL Release() = 0;

protected:
    ~IGameClient() {}
};

/* The game's callbacks for a net engine, all on the thread that called
 * QXNetEngine_Init (on POSIX: from inside QXNetEngine_Pump). */
class INetEngineHandler {
public:
    /* The dispatch server's host was resolved (ok 1) or not (ok 0, ip
     * "255.255.255.255"); ip is valid during the call only. */
    virtual void QXNET_CALL OnDispSvrAddr(int ok, const char* ip, int port) = 0;
    /* Discovery ended: the gate server's address (ok 1), or ok 0. */
    virtual void QXNET_CALL OnGateSvrAddr(int ok, const char* ip, unsigned int port) = 0;
    /* The gate server accepted (1) or refused (0) the handshake, or the
     * connect failed (0). */
    virtual void QXNET_CALL OnGateLogin(int accepted) = 0;
    /* The gate connection closed; the value is always 1. A handshake ended
     * by the server's close, a malformed reply, Release, or no reply within
     * 15 seconds gives only this call, no OnGateLogin. */
    virtual void QXNET_CALL OnGateClosed(int closed) = 0;
    /* A fresh connection's handshake was accepted: the sender is ready. */
    virtual void QXNET_CALL OnConnected() = 0;
    /* A reconnect ended: accepted (1) or not (0). */
    virtual void QXNET_CALL OnReconnected(int accepted) = 0;
    /* Asked once, by Initialize; sent to the dispatch server. */
    virtual unsigned int QXNET_CALL GetClientVersion() = 0;
    /* The dispatch server answered with a notice instead of an address;
     * 0xFFFFFFFF and -1 mean the engine is too old. */
    virtual void QXNET_CALL OnDispNotice(unsigned int code, int value) = 0;

protected:
    ~INetEngineHandler() {}
};

/* The connection to the game's servers through a gate server. */
class INetEngine {
public:
    /* Wires the engine to the handler (not owned); 0 for a null handler. */
    virtual int QXNET_CALL Initialize(INetEngineHandler* handler) = 0;
    /* reconnect 0: discovers the gate server through the dispatch server of
     * SvrAddr.ini (beside the library), then connects; 0 while a discovery is
     * running, and before QXNetEngine_Init. reconnect 1 with a gate address
     * on record: connects to it again. The outcome arrives through the
     * handler. */
    virtual int QXNET_CALL Connect(int reconnect) = 0;
    /* Register module handlers here. */
    virtual IMsgDisp* QXNET_CALL GetMsgDisp() = 0;
    /* Send message bodies here. Null until the TCP connection to the gate
     * server is up and again after its close; during the login handshake it
     * is the sender, but its Send returns false (only module 300 gets
     * through) until OnGateLogin(1). */
    virtual IMsgSender* QXNET_CALL GetSender() = 0;
    /* Ends the engine; safe from inside any of its callbacks, never waits
     * for a discovery in progress (whose results are then dropped). */
    virtual void QXNET_CALL Release() = 0;

protected:
    ~INetEngine() {}
};

/* Exported functions. On Windows the DLL exports them undecorated (stdcall);
 * a game usually loads them with GetProcAddress through the typedefs below. */
#if defined(_WIN32)
#define QXNET_EXPORT
#else
#define QXNET_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Call once on the thread that runs the game's message loop; both arguments
 * are ignored. Always returns 1. */
QXNET_EXPORT int QXNET_CALL QXNetEngine_Init(int reserved1, int reserved2);
/* Does nothing; always returns 1. */
QXNET_EXPORT int QXNET_CALL QXNetEngine_Uninit(void);
/* Stores a new net engine in *engine (null if out of memory) and returns 1;
 * returns 0 and creates nothing when engine is null. The second argument is
 * ignored. */
QXNET_EXPORT int QXNET_CALL QXNetEngine_Get(INetEngine** engine, int reserved);
/* Stores a new game client in *client (null if out of memory) and returns 1;
 * returns 0 and creates nothing when client is null. The second argument is
 * ignored. */
QXNET_EXPORT int QXNET_CALL QXGameClient_Get(IGameClient** client, int reserved);

/* SHA-1 of len bytes of data followed by the 8 bytes "mq_flute". On entry
 * *digestLen is the capacity of digest; it is 20 on return. Returns 0 with
 * the 20-byte digest written (bytes past 20 are left alone), or -1 with
 * nothing written: capacity below 20, digest or digestLen null, or data null
 * while len is not 0. Needs no QXNetEngine_Init; any thread. */
QXNET_EXPORT int QXNET_CALL QXNetEngine_GetHashCode(const void* data, unsigned int len,
                                                    unsigned char* digest, unsigned int* digestLen);

typedef int(QXNET_CALL* PFN_QXNetEngine_Init)(int, int);
typedef int(QXNET_CALL* PFN_QXNetEngine_Uninit)(void);
typedef int(QXNET_CALL* PFN_QXNetEngine_Get)(INetEngine**, int);
typedef int(QXNET_CALL* PFN_QXGameClient_Get)(IGameClient**, int);
typedef int(QXNET_CALL* PFN_QXNetEngine_GetHashCode)(const void*, unsigned int, unsigned char*,
                                                     unsigned int*);

#if !defined(_WIN32)
/* POSIX only, where there is no system message loop: on the thread that
 * called QXNetEngine_Init, handles every pending socket notification, timer
 * and cross-thread call, waiting at most timeoutMs (negative: no limit) for
 * the first. Returns how many it handled, or -1 on another thread or before
 * QXNetEngine_Init. Every callback of an engine or game client, the results
 * of a net engine's discovery included, arrives from inside this call. */
QXNET_EXPORT int QXNetEngine_Pump(int timeoutMs);
typedef int (*PFN_QXNetEngine_Pump)(int);

/* POSIX only, for a game whose own main loop (poll, SDL, a GUI toolkit)
 * cannot give its thread to QXNetEngine_Pump: on the thread that called
 * QXNetEngine_Init, a descriptor that becomes readable whenever
 * QXNetEngine_Pump(0) has work; -1 on another thread or before
 * QXNetEngine_Init. Add it to the loop's poll set for reading and call
 * QXNetEngine_Pump(0) each time it is readable:
 *
 *     struct pollfd p = { QXNetEngine_GetPollFd(), POLLIN, 0 };
 *     for (;;) {
 *         poll(&p, 1, frameMs);              // with the game's own descriptors
 *         if (p.revents & POLLIN)
 *             QXNetEngine_Pump(0);
 *         ...the game's frame...
 *     }
 *
 * The descriptor stays the same for the thread's life; never read it, close
 * it or block on it elsewhere. A call that finds nothing to do is harmless. */
QXNET_EXPORT int QXNetEngine_GetPollFd(void);
typedef int (*PFN_QXNetEngine_GetPollFd)(void);
#endif

#ifdef __cplusplus
}
#endif

#endif /* QXNETENGINE_H */
