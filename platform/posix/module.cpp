#include "platform/platform.h"

#include <dlfcn.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

namespace qxplat {

void* LibraryModule() { return nullptr; }

std::string ModuleDir(void* module)
{
    std::string path;
    if (module) {
        Dl_info info;
        if (dladdr(module, &info) && info.dli_fname)
            path = info.dli_fname;
    } else {
        char buf[4096];
        ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (n > 0)
            path.assign(buf, static_cast<size_t>(n));
    }
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

void GetLocalTimeNow(TLocalTime* t)
{
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local;
    localtime_r(&ts.tv_sec, &local);
    *t = TLocalTime{local.tm_year + 1900,
                    local.tm_mon + 1,
                    local.tm_mday,
                    local.tm_hour,
                    local.tm_min,
                    local.tm_sec,
                    static_cast<int>(ts.tv_nsec / 1000000)};
}

void DebugOutput(const char* text) { fputs(text, stderr); }

}  // namespace qxplat
