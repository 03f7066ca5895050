#pragma once
// Hidden windows and their timers. Windows uses real window classes; POSIX
// gives each thread that creates a window one loop, driven by PumpMessages.

#include <cstdint>

namespace qxplat {

// Message numbers keep their Windows values on every platform.
const unsigned int kWmDestroy = 0x0002;
const unsigned int kWmTimer = 0x0113;
const unsigned int kWmUser = 0x0400;

// Window procedure of a hidden window: true when the message was handled
// (the window then answers 0), false to fall back to the default procedure.
typedef bool (*WndProc)(unsigned int msg, uintptr_t wParam, intptr_t lParam);

class HiddenWnd;

// Registers the class (an existing class of that name is reused) and creates
// a never-shown window on the calling thread. Null on failure.
HiddenWnd* CreateHiddenWnd(void* module, const char* className, const char* windowName,
                           WndProc proc);
// Sends WM_DESTROY to the window, then destroys it.
void DestroyHiddenWnd(HiddenWnd* wnd);
// Blocks until the window's thread has handled the message; runs it directly
// on that thread. Returns the window's answer.
intptr_t SendWndMessage(HiddenWnd* wnd, unsigned int msg, uintptr_t wParam, intptr_t lParam);
bool PostWndMessage(HiddenWnd* wnd, unsigned int msg, uintptr_t wParam, intptr_t lParam);
// True when the calling thread owns the window (its messages run here).
bool IsWndThread(HiddenWnd* wnd);
// WM_TIMER with wParam = id every ms milliseconds until killed.
bool SetWndTimer(HiddenWnd* wnd, uintptr_t id, unsigned int ms);
bool KillWndTimer(HiddenWnd* wnd, uintptr_t id);

// Handles pending window messages of the calling thread (at most a batch,
// so it returns while they keep coming), waiting at most timeoutMs
// (negative: no limit) for the first. Returns how many were handled,
// or -1 when the thread has no windows (POSIX).
int PumpMessages(int timeoutMs);

// POSIX only: a descriptor of the calling thread's loop that is readable
// whenever PumpMessages(0) has work, for a caller polling it in a loop of its
// own; -1 when the thread has no windows.
int PumpPollFd();

}  // namespace qxplat
