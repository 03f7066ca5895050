#pragma once
// What the harnesses of the engine's receive paths need once per process.

// Creates the socket window and the sync window on this thread, as
// QXNetEngine_Init does (handshake results and closes are reported through
// the sync window), and fixes the log to a place where no file can be made,
// so millions of inputs leave no log behind.
void FuzzInitEngineEnv();
