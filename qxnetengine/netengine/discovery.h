#pragma once
// Gate-server discovery on worker threads with blocking sockets. The threads
// touch nothing of the engine: they share this block with it, and hand every
// result to the window thread through the sync window. The engine may be
// released while a thread still blocks; the block then lives on until the
// last thread lets go, and the late results find no engine.

#include "platform/blocksock.h"
#include "platform/thread.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class CNetEngine;

struct CDiscoveryShared {
    // Set and cleared on the window thread only; null once released.
    CNetEngine* pEngine = nullptr;
    // The engine was released: threads stop at their next step.
    std::atomic<bool> bReleased{false};
    // A step is running: set on the window thread when it starts, cleared
    // by its continuation, or by the step itself when its result cannot be
    // handed over (no sync window), so a later discovery may start.
    std::atomic<bool> bResolving{false};
    std::atomic<bool> bAsking{false};

    // One discovery's inputs, copied before its first thread starts.
    std::string strHost;
    int nPort = 0;
    uint32_t nClientVersion = 0;
    bool bHasHandler = false;

    // Its results, written by its threads before they hand over.
    uint32_t nDispAddr = 0xFFFFFFFFu;
    uint32_t nGateAddr = 0xFFFFFFFFu;
    uint16_t nGatePort = 0;
};

// Time-outs of one discovery, in milliseconds.
const int kUdpAttempts = 3;
const int kUdpBaseWaitMs = 1500;  // attempt n waits n * n times this
const int kTcpWaitMs = 15000;
const int kWorkerGraceMs = 1000;

// The host lookup; tests replace it (null restores the real one).
typedef bool (*DispResolver)(const char* host, uint32_t* addrNetOrder);
void SetDispResolver(DispResolver resolver);
// The TCP worker's connect; tests replace it (null restores the real one).
typedef qxplat::SockHandle (*DispTcpConnector)(const qxplat::TSockAddrV4& to, int timeoutMs,
                                               bool* notCreated);
void SetDispTcpConnector(DispTcpConnector connector);

// Start the resolve thread and the discovery thread; null when they cannot
// be started. Their continuations run CNetEngine::OnDispSvrResolved and
// OnGateSvrAddrGot on the window thread.
qxplat::ThreadHandle* StartResolveThread(const std::shared_ptr<CDiscoveryShared>& shared);
qxplat::ThreadHandle* StartDiscoveryThread(const std::shared_ptr<CDiscoveryShared>& shared);

// Applies a dispatch server's reply: a gate address goes to the caller's
// slot (address 0 or port 0 counts as none), a notice sets *answered and is
// handed to the window thread. False when the bytes are no reply.
bool ParseDispRetPkg(const std::shared_ptr<CDiscoveryShared>& shared, const char* data, size_t len,
                     uint32_t* gateAddr, uint16_t* gatePort, bool* answered);
