#include "qxnetengine/log/logfile.h"

#include "platform/paths.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace {

std::atomic<CLogFile::ClockFn> g_clock{nullptr};

void Now(qxplat::TLocalTime* t)
{
    CLogFile::ClockFn clock = g_clock.load();
    if (clock)
        clock(t);
    else
        qxplat::GetLocalTimeNow(t);
}

const char* const kHeaders[] = {
    "== [%d/%d/%d %d:%d:%d:%d] ",
    "** [%d/%d/%d %d:%d:%d:%d] ",
    "$$ [%d/%d/%d %d:%d:%d:%d] ",
};

}  // namespace

CLogFile::CLogFile(const std::string& name) : m_szScratch()
{
    m_strBasePath = qxplat::ExeDir() + name;
}

void CLogFile::SetClock(ClockFn clock) { g_clock.store(clock); }

void CLogFile::Write(int level, const char* format, ...)
{
    CAutoLock lock(&m_Lock);
    if (level < 0 || level > 2)
        level = 2;

    qxplat::TLocalTime t;
    Now(&t);
    snprintf(m_szScratch, sizeof m_szScratch, "%.4d%.2d%.2d", t.year, t.month, t.day);
    std::string path = m_strBasePath + m_szScratch + ".log";
    FILE* f = fopen(path.c_str(), "a+b");
    if (!f)
        return;

    Now(&t);
    int n = snprintf(m_szScratch, sizeof m_szScratch, kHeaders[level], t.year, t.month, t.day,
                     t.hour, t.minute, t.second, t.millisecond);
    if (n > 0) {
        fwrite(m_szScratch, 1, static_cast<size_t>(n), f);
        printf("%s", m_szScratch);
    }

    // A longer message is cut rather than dropped, and every line gets its
    // line end, so the next line never continues this one.
    char message[4096];
    va_list args;
    va_start(args, format);
    int len = vsnprintf(message, kMaxMessage + 1, format ? format : "", args);
    va_end(args);
    if (len < 0)
        len = 0;
    if (len > kMaxMessage)
        len = kMaxMessage;
    message[len] = '\r';
    message[len + 1] = '\n';
    message[len + 2] = '\0';
    fwrite(message, 1, static_cast<size_t>(len) + 2, f);
    printf("%s", message);
    fclose(f);
}

CLogFile& GetLog(const std::string& name)
{
    static CLogFile log(name);
    return log;
}
