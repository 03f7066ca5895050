#include "QXNetEngine.h"

#include "qxnetengine/gameclient/gameclient.h"

#include <new>

extern "C" QXNET_EXPORT int QXNET_CALL QXGameClient_Get(IGameClient** client, int)
{
    CGameClient* created = new (std::nothrow) CGameClient;
    if (client)
        *client = created;
    else
        delete created;
    return 1;
}
