#include "allochook.h"

#include <malloc.h>

#include <cstddef>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t n, size_t size);
void* __libc_realloc(void* p, size_t size);
void __libc_free(void* p);
}

namespace {

// Plain thread-locals of the program itself: reading them never allocates.
thread_local bool t_bCounting = false;
thread_local TAllocCount t_Count;

inline void Took(void* p)
{
    if (t_bCounting && p) {
        ++t_Count.calls;
        t_Count.bytes += static_cast<int64_t>(malloc_usable_size(p));
    }
}

inline void Gave(void* p)
{
    if (t_bCounting && p)
        t_Count.bytes -= static_cast<int64_t>(malloc_usable_size(p));
}

}  // namespace

extern "C" {

void* malloc(size_t size)
{
    void* p = __libc_malloc(size);
    Took(p);
    return p;
}

void* calloc(size_t n, size_t size)
{
    void* p = __libc_calloc(n, size);
    Took(p);
    return p;
}

void* realloc(void* old, size_t size)
{
    const int64_t before = t_bCounting && old ? static_cast<int64_t>(malloc_usable_size(old)) : 0;
    void* p = __libc_realloc(old, size);
    if (t_bCounting && (p || size == 0)) {
        // A failed realloc keeps the old block; realloc(p, 0) frees it.
        t_Count.bytes -= before;
        Took(p);
    }
    return p;
}

void free(void* p)
{
    Gave(p);
    __libc_free(p);
}

}  // extern "C"

CAllocCounter::CAllocCounter()
{
    t_Count = TAllocCount();
    t_bCounting = true;
}

CAllocCounter::~CAllocCounter() { t_bCounting = false; }

TAllocCount CAllocCounter::Count() const { return t_Count; }
