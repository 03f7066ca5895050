#include "QXNetEngine.h"

#include "qxnetengine/gameclient/gameclient.h"

#include <new>

extern "C" QXNET_EXPORT int QXNET_CALL QXGameClient_Get(IGameClient** client, int)
{
    // Nothing may unwind through the export: a lock that cannot be created
    // throws the integer 1, a buffer bad_alloc.
    CGameClient* created = nullptr;
    try {
        created = new CGameClient;
    } catch (...) {
        created = nullptr;
    }
    if (client)
        *client = created;
    else
        delete created;
    return 1;
}
