#include "nativecall.h"

#if defined(_WIN32) && defined(__i386__)
#include <windows.h>

#include <cstring>

bool CNativeRoutine::Available() { return true; }

CNativeRoutine::CNativeRoutine(const unsigned char* code, size_t len)
    : m_pPage(VirtualAlloc(nullptr, len, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE))
{
    if (m_pPage != nullptr) {
        std::memcpy(m_pPage, code, len);
        FlushInstructionCache(GetCurrentProcess(), m_pPage, len);
    }
}

CNativeRoutine::~CNativeRoutine()
{
    if (m_pPage != nullptr) {
        VirtualFree(m_pPage, 0, MEM_RELEASE);
    }
}

void CNativeRoutine::Call(unsigned char* data, uint32_t param) const
{
    if (m_pPage == nullptr) {
        return;
    }
    void* fn = m_pPage;
    // ESP is kept in EBP (callee-saved) so that both cdecl and stdcall
    // routines come back to a balanced stack.
    __asm__ __volatile__(
        "pushl %%ebp\n\t"
        "pushl %%ebx\n\t"
        "pushl %%esi\n\t"
        "pushl %%edi\n\t"
        "movl %%esp, %%ebp\n\t"
        "pushl %%ecx\n\t"
        "pushl %%edx\n\t"
        "call *%%eax\n\t"
        "movl %%ebp, %%esp\n\t"
        "cld\n\t"
        "popl %%edi\n\t"
        "popl %%esi\n\t"
        "popl %%ebx\n\t"
        "popl %%ebp\n\t"
        : "+a"(fn), "+d"(data), "+c"(param)
        :
        : "memory", "cc");
}

#else

bool CNativeRoutine::Available() { return false; }

CNativeRoutine::CNativeRoutine(const unsigned char*, size_t) : m_pPage(nullptr) {}

CNativeRoutine::~CNativeRoutine() {}

void CNativeRoutine::Call(unsigned char*, uint32_t) const {}

#endif
