#pragma once
// Delivers a message body inside the process: wraps it into a package and
// hands that to a dispatcher, whose handler runs before this returns.

#include "common/msgdisp/msgdisp.h"
#include "qxnetengine/fakesender/pkgbuffer.h"

#include <cstdint>

// The package is built in buffer, reused from call to call. busy marks the
// buffer as being read by a handler: a handler that sends through the same
// owner again gets a buffer of its own for that nested package, so the one it
// is still reading is never overwritten or freed. A package that cannot be
// built (out of memory) is dropped.
void DispatchBody(CMsgDisp& disp, CPkgBuffer& buffer, bool& busy, const char* body, uint32_t len);
