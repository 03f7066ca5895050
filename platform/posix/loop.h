#pragma once
// POSIX stand-in for the Windows message queue: one loop per thread that
// created a hidden window. Socket readiness (poll), timers and messages from
// other threads all become window-procedure calls inside PumpMessages.

#include "platform/sockets.h"
#include "platform/wnd.h"

#include <poll.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qxplat {
namespace posixloop {

struct Loop;

struct Wnd {
    uintptr_t id = 0;
    std::shared_ptr<Loop> loop;
    WndProc proc = nullptr;
    bool destroyed = false;
};

// A message queued for a window by PostWndMessage or by SendWndMessage from
// another thread (the sender waits on cv until done).
struct QueuedMsg {
    uintptr_t wnd = 0;
    unsigned int msg = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
    bool sent = false;
    bool done = false;
    intptr_t result = 0;
    std::condition_variable cv;
};

struct Timer {
    uintptr_t wnd = 0;
    uintptr_t id = 0;
    unsigned int ms = 0;
    std::chrono::steady_clock::time_point due;
};

struct Loop {
    Loop();
    ~Loop();
    std::thread::id owner;
    int wakeRead = -1;
    int wakeWrite = -1;
    std::deque<QueuedMsg*> queue;
    std::vector<Timer> timers;
};

// What a socket asked for with SockAsyncSelect, and which events are armed
// (an event fires once, then waits for its re-enabling call as on Windows).
struct Watch {
    uint64_t gen = 0;
    uintptr_t wnd = 0;
    unsigned int msg = 0;
    long events = 0;
    bool connecting = false;
    int connectErr = 0;  // connect() failed at once with this errno
    bool connected = false;
    bool readArmed = false;
    bool writeArmed = false;
    bool acceptArmed = false;
    bool closeArmed = false;
};

// One mutex guards every table below; it is never held while a window
// procedure runs.
std::mutex& Mutex();
std::map<uintptr_t, std::shared_ptr<Wnd>>& Windows();
std::map<int, Watch>& Watches();
std::shared_ptr<Wnd> FindWnd(uintptr_t id);  // caller holds Mutex()
void Wake(Loop& loop);

// Collects socket events of the loop's windows (fd, gen, lParam), given the
// result of poll() over the fds that PollSet returned. Caller holds Mutex().
struct SockEvent {
    int fd;
    uint64_t gen;
    uintptr_t wnd;
    unsigned int msg;
    long event;
    intptr_t lParam;
};
void PollSet(const Loop& loop, std::vector<pollfd>& fds, bool& immediate);
void CollectSockEvents(const std::vector<pollfd>& fds, std::vector<SockEvent>& out);
bool SockEventStillWanted(const SockEvent& ev);

}  // namespace posixloop
}  // namespace qxplat
