#include "platform/thread.h"
#include "platform/debug.h"

#include <windows.h>

#include <process.h>

#include <memory>

namespace qxplat {

class ThreadHandle {
public:
    HANDLE handle = nullptr;
};

namespace {

unsigned __stdcall ThreadMain(void* arg)
{
    // Freed here, before the thread ends and its handle is signalled.
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(arg));
    try {
        (*body)();
    } catch (...) {
        DebugOutput("qxplat: an exception left a thread body\n");
    }
    return 0;
}

}  // namespace

ThreadHandle* StartThread(std::function<void()> body)
{
    try {
        auto handle = std::make_unique<ThreadHandle>();
        auto fn = std::make_unique<std::function<void()>>(std::move(body));
        uintptr_t h = _beginthreadex(nullptr, 0, ThreadMain, fn.get(), 0, nullptr);
        if (h == 0)
            return nullptr;
        fn.release();
        handle->handle = reinterpret_cast<HANDLE>(h);
        return handle.release();
    } catch (...) {
        return nullptr;
    }
}

bool WaitThread(ThreadHandle* thread, int timeoutMs)
{
    if (!thread)
        return false;
    DWORD ms = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    return WaitForSingleObject(thread->handle, ms) == WAIT_OBJECT_0;
}

void DetachThread(ThreadHandle* thread)
{
    if (!thread)
        return;
    CloseHandle(thread->handle);
    delete thread;
}

uint32_t CurrentThreadId() { return GetCurrentThreadId(); }

}  // namespace qxplat
