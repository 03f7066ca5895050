#pragma once

#include "common/lock/lock.h"
#include "platform/time.h"

#include <string>

// The process-wide daily log: one file per local calendar day next to the
// executable, named base name + yyyymmdd + ".log", every line also echoed to
// standard output. Any thread may write; a line is written under one lock.
class CLogFile {
public:
    typedef void (*ClockFn)(qxplat::TLocalTime* now);

    explicit CLogFile(const std::string& name);

    // level 0 "==", 1 "**", anything else "$$". The message is a printf format.
    void Write(int level, const char* format, ...);

    const std::string& GetBasePath() const { return m_strBasePath; }

    // Replaces the local clock (null restores it), so tests can cross midnight.
    static void SetClock(ClockFn clock);

    // Longest message text written on one line.
    static const int kMaxMessage = 4093;

private:
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    std::string m_strBasePath;
    char m_szScratch[1024];
    CCritSection m_Lock;
};

// The log. The first call fixes the base name; later calls ignore theirs.
CLogFile& GetLog(const std::string& name);
