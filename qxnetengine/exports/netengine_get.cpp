#include "QXNetEngine.h"

#include "qxnetengine/netengine/netengine.h"

extern "C" QXNET_EXPORT int QXNET_CALL QXNetEngine_Get(INetEngine** engine, int)
{
    // Nothing may unwind through the export: a lock that cannot be created
    // throws the integer 1, a buffer bad_alloc.
    CNetEngine* created = nullptr;
    try {
        created = new CNetEngine;
    } catch (...) {
        created = nullptr;
    }
    if (engine)
        *engine = created;
    else if (created)
        created->Release();
    return 1;
}
