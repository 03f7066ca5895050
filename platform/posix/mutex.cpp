#include "platform/thread.h"

#include <pthread.h>

namespace qxplat {

static_assert(sizeof(pthread_mutex_t) <= 64, "mutex storage too small");

namespace {

pthread_mutex_t* Mx(unsigned char* storage) { return reinterpret_cast<pthread_mutex_t*>(storage); }

}  // namespace

bool RecursiveMutex::Create()
{
    pthread_mutexattr_t attr;
    if (pthread_mutexattr_init(&attr) != 0)
        return false;
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    int rc = pthread_mutex_init(Mx(m_storage), &attr);
    pthread_mutexattr_destroy(&attr);
    return rc == 0;
}

void RecursiveMutex::Destroy() { pthread_mutex_destroy(Mx(m_storage)); }

void RecursiveMutex::Lock() { pthread_mutex_lock(Mx(m_storage)); }

void RecursiveMutex::Unlock() { pthread_mutex_unlock(Mx(m_storage)); }

bool RecursiveMutex::TryLock() { return pthread_mutex_trylock(Mx(m_storage)) == 0; }

}  // namespace qxplat
