#include "common/lock/lock.h"

#include <windows.h>

static_assert(sizeof(CRITICAL_SECTION) <= 64, "critical section storage too small");

static CRITICAL_SECTION* Cs(unsigned char* storage)
{
    return reinterpret_cast<CRITICAL_SECTION*>(storage);
}

CCritSection::CCritSection()
{
    if (!InitializeCriticalSectionAndSpinCount(Cs(m_storage), 4000))
        throw 1;
}

CCritSection::~CCritSection() { DeleteCriticalSection(Cs(m_storage)); }

void CCritSection::Lock() { EnterCriticalSection(Cs(m_storage)); }

void CCritSection::Unlock() { LeaveCriticalSection(Cs(m_storage)); }

bool CCritSection::TryLock() { return TryEnterCriticalSection(Cs(m_storage)) != FALSE; }
