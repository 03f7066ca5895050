#pragma once
// Loads the engine library at run time and finds its exports by name, as a
// game does. Shared by the sample game, the demo and the tests.

#include "QXNetEngine.h"

#include <string>

struct TEngineExports {
    PFN_QXNetEngine_Init Init = nullptr;
    PFN_QXNetEngine_Uninit Uninit = nullptr;
    PFN_QXNetEngine_Get NetEngineGet = nullptr;
    PFN_QXGameClient_Get GameClientGet = nullptr;
};

// A message body as the senders take it: module id and message id (both
// little-endian), then the payload.
std::string MessageBody(unsigned short module, unsigned short msg, const std::string& payload);

// Loads the library beside the program (QXNetEngine.dll on Windows,
// libqxnetengine.so on POSIX). False when it or one of its exports is missing.
bool LoadEngine(TEngineExports* exports);

// The directory of the loaded library, with its trailing separator: where
// the engine reads SvrAddr.ini. Empty before LoadEngine.
std::string EngineDir();

#ifndef _WIN32
// QXNetEngine_Pump of the loaded library.
int Pump(int timeoutMs);
// QXNetEngine_GetPollFd of the loaded library.
int GetPollFd();
#endif

// The game's own message loop, run until done() or timeoutMs passes:
// GetMessage/DispatchMessage on Windows, QXNetEngine_Pump on POSIX.
bool RunMessageLoopUntil(bool (*done)(void*), void* ctx, int timeoutMs);
