#include "common/lock/lock.h"

#include <pthread.h>

static_assert(sizeof(pthread_mutex_t) <= 64, "mutex storage too small");

static pthread_mutex_t* Mx(unsigned char* storage)
{
    return reinterpret_cast<pthread_mutex_t*>(storage);
}

CCritSection::CCritSection()
{
    pthread_mutexattr_t attr;
    if (pthread_mutexattr_init(&attr) != 0)
        throw 1;
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    int rc = pthread_mutex_init(Mx(m_storage), &attr);
    pthread_mutexattr_destroy(&attr);
    if (rc != 0)
        throw 1;
}

CCritSection::~CCritSection() { pthread_mutex_destroy(Mx(m_storage)); }

void CCritSection::Lock() { pthread_mutex_lock(Mx(m_storage)); }

void CCritSection::Unlock() { pthread_mutex_unlock(Mx(m_storage)); }

bool CCritSection::TryLock() { return pthread_mutex_trylock(Mx(m_storage)) == 0; }
