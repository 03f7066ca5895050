#include "platform/debug.h"

#include <cstdio>
#include <cstring>

namespace qxplat {

// A debugger shows each OutputDebugString as a line of its own; on standard
// error a line end has to be written.
void DebugOutput(const char* text)
{
    size_t n = strlen(text);
    fputs(text, stderr);
    if (n == 0 || text[n - 1] != '\n')
        fputc('\n', stderr);
}

}  // namespace qxplat
