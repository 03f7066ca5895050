#include "QXNetEngine.h"

#include "common/msgsocket/msgsocket.h"
#include "platform/platform.h"
#include "qxnetengine/hash/hashcode.h"

extern "C" {

QXNET_EXPORT int QXNET_CALL QXNetEngine_Init(int, int)
{
    InitSockWnd(qxplat::LibraryModule());
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
#endif

}  // extern "C"
