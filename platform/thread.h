#pragma once
// Threads, waits and the recursive mutex that the shared lock wraps.

#include <cstdint>
#include <functional>

namespace qxplat {

class ThreadHandle;

// Starts a thread running body; null when it cannot be started. Every handle
// ends with DetachThread, whether the thread has ended or not. No thread is
// ever terminated from outside: a late one is abandoned and ends on its own.
ThreadHandle* StartThread(std::function<void()> body);
// Waits at most timeoutMs (negative: no limit) for the thread to end; true
// when it has ended. The handle stays valid either way.
bool WaitThread(ThreadHandle* thread, int timeoutMs);
// Forgets the handle; the thread runs on and cleans up after itself.
void DetachThread(ThreadHandle* thread);

uint32_t CurrentThreadId();

// A mutex the owning thread may lock again (a critical section with a spin
// count of 4000 on Windows, a recursive pthread mutex on POSIX). Create
// before use; false when it cannot be made.
class RecursiveMutex {
public:
    RecursiveMutex() = default;
    bool Create();
    void Destroy();
    void Lock();
    void Unlock();
    bool TryLock();

private:
    RecursiveMutex(const RecursiveMutex&) = delete;
    RecursiveMutex& operator=(const RecursiveMutex&) = delete;

    alignas(8) unsigned char m_storage[64];
};

}  // namespace qxplat
