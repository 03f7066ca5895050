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

// On by default; a benchmark turns it off, where a line per message would
// be most of the servers' work.
void SetRefLogEnabled(bool on);
bool RefLogEnabled();

// "[  12.345] <who> <text>": seconds since the servers started.
void RefLog(const char* who, const char* fmt, ...) QX_PRINTF(2, 3);

// The first bytes of data in hex, for a line about a message.
std::string HexStart(const char* data, size_t len, size_t max = 16);
