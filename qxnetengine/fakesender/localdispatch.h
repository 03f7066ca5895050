#pragma once
// Delivers a message body inside the process: wraps it into a package and
// hands that to a dispatcher, whose handler runs before this returns.

#include "common/msgdisp/msgdisp.h"
#include "common/msgdisp/pkgbuffer.h"

#include <cstdint>

// The package is built in buffer, reused from call to call and lent with busy
// (see CPkgBufferLease). A package that cannot be built (out of memory) is
// dropped.
void DispatchBody(CMsgDisp& disp, CPkgBuffer& buffer, bool& busy, const char* body, uint32_t len);
