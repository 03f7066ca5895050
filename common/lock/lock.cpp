#include "common/lock/lock.h"

CCritSection::CCritSection()
{
    if (!m_Mutex.Create())
        throw 1;
}

CCritSection::~CCritSection() { m_Mutex.Destroy(); }

void CCritSection::Lock() { m_Mutex.Lock(); }

void CCritSection::Unlock() { m_Mutex.Unlock(); }

bool CCritSection::TryLock() { return m_Mutex.TryLock(); }
