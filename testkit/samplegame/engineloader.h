#pragma once
// Loads the engine library at run time and finds its exports by name.

#include "QXNetEngine.h"

struct TEngineExports {
    PFN_QXNetEngine_Init Init = nullptr;
    PFN_QXNetEngine_Uninit Uninit = nullptr;
    PFN_QXGameClient_Get GameClientGet = nullptr;
};

// False when the library or one of its exports is missing.
bool LoadEngine(TEngineExports* exports);

#ifndef _WIN32
// QXNetEngine_Pump of the loaded library.
int Pump(int timeoutMs);
#endif

// The game's own message loop, run until done() or timeoutMs passes:
// GetMessage/DispatchMessage on Windows, QXNetEngine_Pump on POSIX.
bool RunMessageLoopUntil(bool (*done)(void*), void* ctx, int timeoutMs);
