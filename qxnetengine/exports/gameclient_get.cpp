#include "QXNetEngine.h"

#include "qxnetengine/gameclient/gameclient.h"

extern "C" QXNET_EXPORT int QXNET_CALL QXGameClient_Get(IGameClient** client, int)
{
    if (!client)
        return 0;
    // Nothing may unwind through the export: a lock that cannot be created
    // throws the integer 1, a buffer bad_alloc.
    try {
        *client = new CGameClient;
    } catch (...) {
        *client = nullptr;
    }
    return 1;
}
