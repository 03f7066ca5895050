#include "platform/thread.h"

#include <windows.h>

namespace qxplat {

static_assert(sizeof(CRITICAL_SECTION) <= 64, "critical section storage too small");

namespace {

CRITICAL_SECTION* Cs(unsigned char* storage)
{
    return reinterpret_cast<CRITICAL_SECTION*>(storage);
}

}  // namespace

bool RecursiveMutex::Create()
{
    return InitializeCriticalSectionAndSpinCount(Cs(m_storage), 4000) != FALSE;
}

void RecursiveMutex::Destroy() { DeleteCriticalSection(Cs(m_storage)); }

void RecursiveMutex::Lock() { EnterCriticalSection(Cs(m_storage)); }

void RecursiveMutex::Unlock() { LeaveCriticalSection(Cs(m_storage)); }

bool RecursiveMutex::TryLock() { return TryEnterCriticalSection(Cs(m_storage)) != FALSE; }

}  // namespace qxplat
