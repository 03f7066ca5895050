#include "qxnetengine/fakesender/localdispatch.h"

void DispatchBody(CMsgDisp& disp, CPkgBuffer& buffer, bool& busy, const char* body, uint32_t len)
{
    CPkgBufferLease lease(buffer, busy);
    if (BuildPkg(lease.Get(), body, len))
        disp.DispatchPkg(lease.Get().GetData(), lease.Get().GetLength());
}
