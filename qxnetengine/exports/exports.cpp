#include "QXNetEngine.h"

#include "common/msgsocket/msgsocket.h"
#include "common/syncwnd/msgsyncwnd.h"
#include "platform/paths.h"
#include "platform/wnd.h"
#include "qxnetengine/hash/hashcode.h"
#include "qxnetengine/log/logfile.h"

extern "C" {

// Start-up on the thread that runs the game's message loop: the log first
// (fixing its base name), then the socket window, then the sync window.
QXNET_EXPORT int QXNET_CALL QXNetEngine_Init(int, int)
{
    void* module = qxplat::LibraryModule();
    // The windows made here outlive any FreeLibrary: their procedure must too.
    qxplat::PinLibraryModule();
    GetLog("QXNetEngine.log");
    InitSockWnd(module);
    CMsgSyncWnd::Instance().Create(module);
    return 1;
}

QXNET_EXPORT int QXNET_CALL QXNetEngine_Uninit(void) { return 1; }

QXNET_EXPORT int QXNET_CALL QXNetEngine_GetHashCode(const void* data, unsigned int len,
                                                    unsigned char* digest, unsigned int* digestLen)
{
    return ComputeHashCode(data, len, digest, digestLen);
}

#if !defined(_WIN32)
QXNET_EXPORT int QXNetEngine_Pump(int timeoutMs) { return qxplat::PumpMessages(timeoutMs); }

QXNET_EXPORT int QXNetEngine_GetPollFd(void) { return qxplat::PumpPollFd(); }
#endif

}  // extern "C"
