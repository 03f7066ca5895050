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

struct TStart {
    std::function<void()> body;
    // The library holding this code, held while the thread runs: a thread
    // left to finish on its own must not outlive the code it runs.
    HMODULE module = nullptr;
};

unsigned __stdcall ThreadMain(void* arg)
{
    HMODULE module = nullptr;
    {
        // Freed here, before the thread ends and its handle is signalled.
        std::unique_ptr<TStart> start(static_cast<TStart*>(arg));
        module = start->module;
        try {
            start->body();
        } catch (...) {
            DebugOutput("qxplat: an exception left a thread body\n");
        }
    }
    if (module)
        FreeLibraryAndExitThread(module, 0);
    return 0;
}

// A reference on the library holding this code; none when the code is part
// of the program itself, which cannot be unloaded.
HMODULE HoldOwnModule()
{
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCSTR>(&ThreadMain), &module))
        return nullptr;
    if (module == GetModuleHandleA(nullptr)) {
        FreeLibrary(module);
        return nullptr;
    }
    return module;
}

}  // namespace

ThreadHandle* StartThread(std::function<void()> body)
{
    try {
        auto handle = std::make_unique<ThreadHandle>();
        auto start = std::make_unique<TStart>();
        start->body = std::move(body);
        start->module = HoldOwnModule();
        uintptr_t h = _beginthreadex(nullptr, 0, ThreadMain, start.get(), 0, nullptr);
        if (h == 0) {
            if (start->module)
                FreeLibrary(start->module);
            return nullptr;
        }
        start.release();
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
