#include "reflog.h"

#include "platform/time.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {

std::mutex g_Mutex;
const uint32_t g_nStart = qxplat::TickCountMs();
std::atomic<bool> g_bQuiet{false};
std::atomic<unsigned> g_nFaults{0};

}  // namespace

void SetRefLogQuiet(bool quiet) { g_bQuiet = quiet; }
void CountRefFault() { ++g_nFaults; }
unsigned RefFaultsShown() { return g_nFaults; }

void RefLog(const char* who, const char* fmt, ...)
{
    if (g_bQuiet)
        return;
    char text[512];
    va_list args;
    va_start(args, fmt);
    vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    uint32_t ms = qxplat::TickCountMs() - g_nStart;
    std::lock_guard<std::mutex> lock(g_Mutex);
    printf("[%4u.%03u] %-14s %s\n", ms / 1000, ms % 1000, who, text);
    fflush(stdout);
}

std::string HexStart(const char* data, size_t len, size_t max)
{
    std::string s;
    char b[4];
    for (size_t i = 0; i < len && i < max; ++i) {
        snprintf(b, sizeof b, i ? " %02X" : "%02X", static_cast<unsigned char>(data[i]));
        s += b;
    }
    if (len > max)
        s += " ...";
    return s;
}

bool RefLogShown() { return !g_bQuiet; }
