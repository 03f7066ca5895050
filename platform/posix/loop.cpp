#include "platform/posix/loop.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace qxplat {
namespace posixloop {

using Clock = std::chrono::steady_clock;

std::mutex& Mutex()
{
    static std::mutex* mu = new std::mutex;  // outlives every static destructor
    return *mu;
}

std::map<uintptr_t, std::shared_ptr<Wnd>>& Windows()
{
    static std::map<uintptr_t, std::shared_ptr<Wnd>> windows;
    return windows;
}

std::shared_ptr<Wnd> FindWnd(uintptr_t id)
{
    auto it = Windows().find(id);
    return it == Windows().end() ? nullptr : it->second;
}

Loop::Loop() : owner(std::this_thread::get_id())
{
    int fds[2];
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
        wakeRead = fds[0];
        wakeWrite = fds[1];
    }
}

Loop::~Loop()
{
    if (wakeRead >= 0)
        close(wakeRead);
    if (wakeWrite >= 0)
        close(wakeWrite);
}

void Wake(Loop& loop)
{
    char c = 1;
    if (loop.wakeWrite >= 0 && write(loop.wakeWrite, &c, 1) < 0) {
        // A full pipe already holds a wake-up.
    }
}

namespace {

thread_local std::shared_ptr<Loop> t_loop;
uintptr_t g_nextWnd = 1;

intptr_t Dispatch(const std::shared_ptr<Wnd>& wnd, unsigned int msg, uintptr_t wParam,
                  intptr_t lParam)
{
    if (!wnd || wnd->destroyed || !wnd->proc)
        return 0;
    try {
        wnd->proc(msg, wParam, lParam);
    } catch (...) {
        // No exception leaves a pump, as none leaves a window procedure.
    }
    return 0;
}

void Complete(QueuedMsg* q, intptr_t result)
{
    if (!q->sent) {
        delete q;
        return;
    }
    std::lock_guard<std::mutex> lock(Mutex());
    q->result = result;
    q->done = true;
    q->cv.notify_all();
}

int Milliseconds(Clock::duration d)
{
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
    if (ms < 0)
        return 0;
    return ms > 1000000 ? 1000000 : static_cast<int>(ms) + 1;
}

// What one round collects, kept between rounds so that a steady round
// allocates nothing. One set per nesting level: a window procedure may pump.
struct RoundScratch {
    std::vector<pollfd> fds;
    std::deque<QueuedMsg*> queued;
    std::vector<SockEvent> events;
    std::vector<Timer> due;
};
thread_local std::vector<std::unique_ptr<RoundScratch>> t_scratch;
thread_local size_t t_depth = 0;

class ScratchLease {
public:
    ScratchLease()
    {
        if (t_depth == t_scratch.size())
            t_scratch.emplace_back(new RoundScratch);
        m_s = t_scratch[t_depth++].get();
        m_s->fds.clear();
        m_s->events.clear();
        m_s->due.clear();
    }
    ~ScratchLease() { --t_depth; }
    RoundScratch& operator*() const { return *m_s; }

private:
    ScratchLease(const ScratchLease&) = delete;
    ScratchLease& operator=(const ScratchLease&) = delete;
    RoundScratch* m_s;
};

// One round: wait up to waitMs for anything, then handle all that is ready.
int RunOnce(Loop& loop, int waitMs)
{
    ScratchLease lease;
    RoundScratch& round = *lease;
    std::vector<pollfd>& fds = round.fds;
    bool immediate = false;
    {
        std::lock_guard<std::mutex> lock(Mutex());
        fds.push_back(pollfd{loop.wakeRead, POLLIN, 0});
        PollSet(loop, fds, immediate);
        if (!loop.queue.empty() || immediate)
            waitMs = 0;
        Clock::time_point now = Clock::now();
        for (const Timer& t : loop.timers) {
            int left = t.due <= now ? 0 : Milliseconds(t.due - now);
            if (waitMs < 0 || left < waitMs)
                waitMs = left;
        }
    }
    poll(fds.data(), fds.size(), waitMs);
    if (fds[0].revents & POLLIN) {
        char buf[64];
        while (read(loop.wakeRead, buf, sizeof buf) > 0) {
        }
    }

    std::deque<QueuedMsg*>& queued = round.queued;
    std::vector<SockEvent>& events = round.events;
    std::vector<Timer>& due = round.due;
    {
        std::lock_guard<std::mutex> lock(Mutex());
        queued.clear();
        queued.swap(loop.queue);
        CollectSockEvents(fds, events);
        Clock::time_point now = Clock::now();
        for (Timer& t : loop.timers) {
            if (t.due <= now) {
                due.push_back(t);
                t.due = now + std::chrono::milliseconds(t.ms);
            }
        }
    }

    int handled = 0;
    for (QueuedMsg* q : queued) {
        std::shared_ptr<Wnd> wnd;
        {
            std::lock_guard<std::mutex> lock(Mutex());
            wnd = FindWnd(q->wnd);
        }
        Complete(q, Dispatch(wnd, q->msg, q->wParam, q->lParam));
        ++handled;
    }
    for (const SockEvent& ev : events) {
        std::shared_ptr<Wnd> wnd;
        {
            std::lock_guard<std::mutex> lock(Mutex());
            if (!SockEventStillWanted(ev))
                continue;
            wnd = FindWnd(ev.wnd);
        }
        Dispatch(wnd, ev.msg, static_cast<uintptr_t>(ev.fd), ev.lParam);
        ++handled;
    }
    for (const Timer& t : due) {
        std::shared_ptr<Wnd> wnd;
        {
            // A timer killed by an earlier message of this round stays silent.
            std::lock_guard<std::mutex> lock(Mutex());
            bool alive = std::any_of(loop.timers.begin(), loop.timers.end(), [&](const Timer& x) {
                return x.wnd == t.wnd && x.id == t.id;
            });
            if (!alive)
                continue;
            wnd = FindWnd(t.wnd);
        }
        Dispatch(wnd, kWmTimer, t.id, 0);
        ++handled;
    }
    return handled;
}

}  // namespace

}  // namespace posixloop

using namespace posixloop;

HiddenWnd* CreateHiddenWnd(void*, const char*, const char*, WndProc proc)
{
    if (!t_loop)
        t_loop = std::make_shared<Loop>();
    if (t_loop->wakeRead < 0)
        return nullptr;
    auto wnd = std::make_shared<Wnd>();
    wnd->loop = t_loop;
    wnd->proc = proc;
    std::lock_guard<std::mutex> lock(Mutex());
    wnd->id = g_nextWnd++;
    Windows()[wnd->id] = wnd;
    return reinterpret_cast<HiddenWnd*>(wnd->id);
}

void DestroyHiddenWnd(HiddenWnd* handle)
{
    uintptr_t id = reinterpret_cast<uintptr_t>(handle);
    SendWndMessage(handle, kWmDestroy, 0, 0);
    std::vector<QueuedMsg*> orphans;
    {
        std::lock_guard<std::mutex> lock(Mutex());
        std::shared_ptr<Wnd> wnd = FindWnd(id);
        if (!wnd)
            return;
        wnd->destroyed = true;
        Windows().erase(id);
        Loop& loop = *wnd->loop;
        auto& timers = loop.timers;
        timers.erase(std::remove_if(timers.begin(), timers.end(),
                                    [&](const Timer& t) { return t.wnd == id; }),
                     timers.end());
        for (auto it = loop.queue.begin(); it != loop.queue.end();) {
            if ((*it)->wnd == id) {
                orphans.push_back(*it);
                it = loop.queue.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (QueuedMsg* q : orphans) Complete(q, 0);
}

intptr_t SendWndMessage(HiddenWnd* handle, unsigned int msg, uintptr_t wParam, intptr_t lParam)
{
    uintptr_t id = reinterpret_cast<uintptr_t>(handle);
    std::unique_lock<std::mutex> lock(Mutex());
    std::shared_ptr<Wnd> wnd = FindWnd(id);
    if (!wnd)
        return 0;
    if (wnd->loop->owner == std::this_thread::get_id()) {
        lock.unlock();
        return Dispatch(wnd, msg, wParam, lParam);
    }
    QueuedMsg q;
    q.wnd = id;
    q.msg = msg;
    q.wParam = wParam;
    q.lParam = lParam;
    q.sent = true;
    wnd->loop->queue.push_back(&q);
    Wake(*wnd->loop);
    q.cv.wait(lock, [&] { return q.done; });
    return q.result;
}

bool PostWndMessage(HiddenWnd* handle, unsigned int msg, uintptr_t wParam, intptr_t lParam)
{
    uintptr_t id = reinterpret_cast<uintptr_t>(handle);
    std::lock_guard<std::mutex> lock(Mutex());
    std::shared_ptr<Wnd> wnd = FindWnd(id);
    if (!wnd)
        return false;
    QueuedMsg* q = new QueuedMsg;
    q->wnd = id;
    q->msg = msg;
    q->wParam = wParam;
    q->lParam = lParam;
    wnd->loop->queue.push_back(q);
    Wake(*wnd->loop);
    return true;
}

bool IsWndThread(HiddenWnd* handle)
{
    std::lock_guard<std::mutex> lock(Mutex());
    std::shared_ptr<Wnd> wnd = FindWnd(reinterpret_cast<uintptr_t>(handle));
    return wnd && wnd->loop->owner == std::this_thread::get_id();
}

bool SetWndTimer(HiddenWnd* handle, uintptr_t id, unsigned int ms)
{
    uintptr_t wid = reinterpret_cast<uintptr_t>(handle);
    std::lock_guard<std::mutex> lock(Mutex());
    std::shared_ptr<Wnd> wnd = FindWnd(wid);
    if (!wnd)
        return false;
    Timer t;
    t.wnd = wid;
    t.id = id;
    t.ms = ms;
    t.due = Clock::now() + std::chrono::milliseconds(ms);
    auto& timers = wnd->loop->timers;
    for (Timer& x : timers) {
        if (x.wnd == wid && x.id == id) {
            x = t;
            return true;
        }
    }
    timers.push_back(t);
    Wake(*wnd->loop);
    return true;
}

bool KillWndTimer(HiddenWnd* handle, uintptr_t id)
{
    uintptr_t wid = reinterpret_cast<uintptr_t>(handle);
    std::lock_guard<std::mutex> lock(Mutex());
    std::shared_ptr<Wnd> wnd = FindWnd(wid);
    if (!wnd)
        return false;
    auto& timers = wnd->loop->timers;
    auto it = std::remove_if(timers.begin(), timers.end(),
                             [&](const Timer& t) { return t.wnd == wid && t.id == id; });
    bool found = it != timers.end();
    timers.erase(it, timers.end());
    return found;
}

int PumpMessages(int timeoutMs)
{
    if (!t_loop)
        return -1;
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int wait = timeoutMs < 0 ? -1 : Milliseconds(deadline - Clock::now());
        if (timeoutMs >= 0 && Clock::now() >= deadline)
            wait = 0;
        int handled = RunOnce(*t_loop, wait);
        if (handled > 0 || (timeoutMs >= 0 && Clock::now() >= deadline))
            return handled;
    }
}

}  // namespace qxplat
