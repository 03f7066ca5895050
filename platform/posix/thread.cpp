#include "platform/thread.h"
#include "platform/debug.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace qxplat {

namespace {

// Shared by the handle and the running thread, so either may go first.
struct ThreadState {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
};

struct ThreadStart {
    std::function<void()> body;
    std::shared_ptr<ThreadState> state;
};

void* ThreadMain(void* arg)
{
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(arg));
    try {
        start->body();
    } catch (...) {
        DebugOutput("qxplat: an exception left a thread body\n");
    }
    // What the body captured goes before a waiter learns of the end, as the
    // Windows thread handle is signalled only after the thread has returned.
    std::shared_ptr<ThreadState> state = std::move(start->state);
    start.reset();
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        state->done = true;
    }
    state->ended.notify_all();
    return nullptr;
}

}  // namespace

class ThreadHandle {
public:
    std::shared_ptr<ThreadState> state;
};

ThreadHandle* StartThread(std::function<void()> body)
{
    try {
        auto handle = std::make_unique<ThreadHandle>();
        handle->state = std::make_shared<ThreadState>();
        auto start = std::make_unique<ThreadStart>();
        start->body = std::move(body);
        start->state = handle->state;

        pthread_attr_t attr;
        if (pthread_attr_init(&attr) != 0)
            return nullptr;
        // Detached from the start: the thread frees itself, the handle only waits.
        pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
        pthread_t tid;
        int rc = pthread_create(&tid, &attr, ThreadMain, start.get());
        pthread_attr_destroy(&attr);
        if (rc != 0)
            return nullptr;
        start.release();
        return handle.release();
    } catch (...) {
        return nullptr;
    }
}

bool WaitThread(ThreadHandle* thread, int timeoutMs)
{
    if (!thread)
        return false;
    ThreadState& s = *thread->state;
    std::unique_lock<std::mutex> lock(s.mutex);
    if (timeoutMs < 0) {
        s.ended.wait(lock, [&] { return s.done; });
        return true;
    }
    return s.ended.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return s.done; });
}

void DetachThread(ThreadHandle* thread) { delete thread; }

uint32_t CurrentThreadId() { return static_cast<uint32_t>(syscall(SYS_gettid)); }

}  // namespace qxplat
