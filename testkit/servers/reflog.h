#pragma once
// The reference servers' transcript: one line per message received or sent,
// on standard output, from any thread.

#include <cstddef>
#include <string>

#if defined(__GNUC__)
#define QX_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define QX_PRINTF(f, a)
#endif

// "[  12.345] <who> <text>": seconds since the servers started.
void RefLog(const char* who, const char* fmt, ...) QX_PRINTF(2, 3);
// Quiet: no lines at all (a long run that only counts).
void SetRefLogQuiet(bool quiet);

// Misbehaviours the servers showed on purpose, from any thread.
void CountRefFault();
unsigned RefFaultsShown();

// The first bytes of data in hex, for a line about a message.
std::string HexStart(const char* data, size_t len, size_t max = 16);

// Whether lines are shown: a caller skips building a line nobody reads.
bool RefLogShown();
