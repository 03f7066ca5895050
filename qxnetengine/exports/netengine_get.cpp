#include "QXNetEngine.h"

#include "qxnetengine/netengine/netengine.h"

extern "C" QXNET_EXPORT int QXNET_CALL QXNetEngine_Get(INetEngine** engine, int)
{
    if (!engine)
        return 0;
    // Nothing may unwind through the export: a lock that cannot be created
    // throws the integer 1, a buffer bad_alloc.
    try {
        *engine = new CNetEngine;
    } catch (...) {
        *engine = nullptr;
    }
    return 1;
}
