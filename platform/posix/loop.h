#pragma once
// POSIX stand-in for the Windows message queue: one loop per thread that
// created a hidden window. Socket readiness, timers and messages from other
// threads are all descriptors in one epoll set (sockets, a timerfd, an
// eventfd), so a wake-up costs the same with ten sockets or ten thousand,
// and a game with its own loop can poll that one descriptor. Everything
// becomes window-procedure calls inside PumpMessages.

#include "platform/posix/timers.h"
#include "platform/sockets.h"
#include "platform/wnd.h"

#include <sys/epoll.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
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

// What an epoll event of the loop's own descriptors carries; a socket's
// carries its descriptor and generation, which never reach these values.
const uint64_t kWakeTag = ~uint64_t(0);
const uint64_t kTimerTag = ~uint64_t(0) - 1;

struct Loop {
    Loop();
    ~Loop();
    bool Ok() const { return epfd >= 0 && wakeFd >= 0 && timerFd >= 0; }
    // Sets the timerfd to the earliest timer, or disarms it. Caller holds Mutex().
    void ArmTimer();

    std::thread::id owner;
    int epfd = -1;
    int wakeFd = -1;   // eventfd: a message was queued or a socket needs a look
    int timerFd = -1;  // expires when the earliest timer is due
    std::chrono::steady_clock::time_point armedDue = std::chrono::steady_clock::time_point::max();
    std::deque<QueuedMsg*> queue;
    std::vector<int> immediate;  // sockets whose connect() failed at once
    TimerTable timers;
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
    // The loop whose epoll set holds the socket, and the events registered
    // there (0: not registered). Registration may hold more than is armed:
    // a disarmed event is dropped only when it next shows, since most are
    // re-armed before that.
    std::shared_ptr<Loop> loop;
    uint32_t interest = 0;
};

// One mutex guards every table below; it is never held while a window
// procedure runs.
std::mutex& Mutex();
std::map<uintptr_t, std::shared_ptr<Wnd>>& Windows();
std::unordered_map<int, Watch>& Watches();
std::shared_ptr<Wnd> FindWnd(uintptr_t id);  // caller holds Mutex()
void Wake(Loop& loop);

// The Windows Sockets event a socket's readiness makes, if still armed.
struct SockEvent {
    int fd;
    uint64_t gen;
    uintptr_t wnd;
    unsigned int msg;
    long event;
    intptr_t lParam;
};
// Caller holds Mutex(). A socket's epoll event, and the sockets whose
// connect() failed before the loop saw them.
void CollectSockEvents(const epoll_event& ready, std::vector<SockEvent>& out);
void CollectImmediate(Loop& loop, std::vector<SockEvent>& out);
bool SockEventStillWanted(const SockEvent& ev);

}  // namespace posixloop
}  // namespace qxplat
