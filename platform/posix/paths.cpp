#include "platform/paths.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace qxplat {

const char kPathSep = '/';

// Any address inside the shared object (or program) that holds this code.
void* LibraryModule() { return reinterpret_cast<void*>(&LibraryModule); }

namespace {

// The file mapped at addr, from the kernel's table of this process's
// mappings: always a full path, unlike the name a library was opened by.
std::string MappedFile(uintptr_t addr)
{
    FILE* maps = fopen("/proc/self/maps", "re");
    if (!maps)
        return std::string();
    std::string found;
    char line[4096 + 128];
    while (fgets(line, sizeof line, maps)) {
        uintptr_t lo = 0, hi = 0;
        if (sscanf(line, "%" SCNxPTR "-%" SCNxPTR, &lo, &hi) != 2 || addr < lo || addr >= hi)
            continue;
        const char* path = strchr(line, '/');
        if (path) {
            found = path;
            while (!found.empty() && (found.back() == '\n' || found.back() == ' '))
                found.pop_back();
        }
        break;
    }
    fclose(maps);
    return found;
}

}  // namespace

void PinLibraryModule()
{
    std::string path = MappedFile(reinterpret_cast<uintptr_t>(LibraryModule()));
    // Another reference that is never given back, and a mark against unmapping.
    if (!path.empty())
        dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

std::string ModuleDir(void* module)
{
    std::string path;
    if (module) {
        path = MappedFile(reinterpret_cast<uintptr_t>(module));
    } else {
        char buf[4096];
        ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (n > 0)
            path.assign(buf, static_cast<size_t>(n));
    }
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace qxplat
