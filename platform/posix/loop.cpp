#include "platform/posix/loop.h"

#include <sys/eventfd.h>
#include <sys/timerfd.h>
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
    // Outlives every static destructor, like the mutex: a thread may still
    // destroy its windows while the program exits.
    static auto* windows = new std::map<uintptr_t, std::shared_ptr<Wnd>>;
    return *windows;
}

std::shared_ptr<Wnd> FindWnd(uintptr_t id)
{
    auto it = Windows().find(id);
    return it == Windows().end() ? nullptr : it->second;
}

Loop::Loop() : owner(std::this_thread::get_id())
{
    epfd = epoll_create1(EPOLL_CLOEXEC);
    wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    timerFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (!Ok())
        return;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kWakeTag;
    epoll_ctl(epfd, EPOLL_CTL_ADD, wakeFd, &ev);
    ev.data.u64 = kTimerTag;
    epoll_ctl(epfd, EPOLL_CTL_ADD, timerFd, &ev);
}

Loop::~Loop()
{
    for (int fd : {epfd, wakeFd, timerFd})
        if (fd >= 0)
            close(fd);
}

void Loop::ArmTimer()
{
    Clock::time_point due;
    itimerspec when{};
    if (timers.Earliest(due)) {
        // steady_clock is CLOCK_MONOTONIC; a due time already past fires at once.
        auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(due.time_since_epoch()).count();
        if (ns <= 0)
            ns = 1;
        when.it_value.tv_sec = static_cast<time_t>(ns / 1000000000);
        when.it_value.tv_nsec = static_cast<long>(ns % 1000000000);
    } else {
        due = Clock::time_point::max();
    }
    timerfd_settime(timerFd, TFD_TIMER_ABSTIME, &when, nullptr);
    armedDue = due;
}

void Wake(Loop& loop)
{
    // A counter that cannot fill in practice; a failed write finds one pending.
    if (eventfd_write(loop.wakeFd, 1) != 0) {
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
    RoundScratch() : ready(256) {}
    std::vector<epoll_event> ready;
    std::deque<QueuedMsg*> queued;
    std::vector<SockEvent> events;
    std::vector<TimerTable::Key> due;
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
    {
        std::lock_guard<std::mutex> lock(Mutex());
        if (!loop.queue.empty() || !loop.immediate.empty())
            waitMs = 0;
    }
    int n = epoll_wait(loop.epfd, round.ready.data(), static_cast<int>(round.ready.size()), waitMs);
    if (n < 0)
        n = 0;  // interrupted by a signal: an empty round
    bool timerFired = false;
    for (int i = 0; i < n; ++i) {
        uint64_t tag = round.ready[i].data.u64;
        uint64_t count;
        if (tag == kWakeTag) {
            if (read(loop.wakeFd, &count, sizeof count) < 0) {
                // Another round took the wake-up first.
            }
        } else if (tag == kTimerTag) {
            timerFired = true;
            if (read(loop.timerFd, &count, sizeof count) < 0) {
                // Re-armed since it expired.
            }
        }
    }

    std::deque<QueuedMsg*>& queued = round.queued;
    std::vector<SockEvent>& events = round.events;
    std::vector<TimerTable::Key>& due = round.due;
    {
        std::lock_guard<std::mutex> lock(Mutex());
        queued.clear();
        queued.swap(loop.queue);
        CollectImmediate(loop, events);
        for (int i = 0; i < n; ++i) {
            uint64_t tag = round.ready[i].data.u64;
            if (tag != kWakeTag && tag != kTimerTag)
                CollectSockEvents(round.ready[i], events);
        }
        loop.timers.TakeDue(Clock::now(), due);
        if (timerFired || !due.empty())
            loop.ArmTimer();
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
    for (const TimerTable::Key& t : due) {
        std::shared_ptr<Wnd> wnd;
        {
            // A timer killed by an earlier message of this round stays silent.
            std::lock_guard<std::mutex> lock(Mutex());
            if (!loop.timers.Alive(t))
                continue;
            wnd = FindWnd(t.first);
        }
        Dispatch(wnd, kWmTimer, t.second, 0);
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
    if (!t_loop->Ok())
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
        loop.timers.KillWindow(id);
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
    Loop& loop = *wnd->loop;
    loop.timers.Set(TimerTable::Key(wid, id), ms, Clock::now());
    Clock::time_point earliest;
    if (loop.timers.Earliest(earliest) && earliest < loop.armedDue)
        loop.ArmTimer();
    return true;
}

bool KillWndTimer(HiddenWnd* handle, uintptr_t id)
{
    // The timerfd may stay set for a timer killed here: one empty round.
    uintptr_t wid = reinterpret_cast<uintptr_t>(handle);
    std::lock_guard<std::mutex> lock(Mutex());
    std::shared_ptr<Wnd> wnd = FindWnd(wid);
    return wnd && wnd->loop->timers.Kill(TimerTable::Key(wid, id));
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

int PumpPollFd() { return t_loop ? t_loop->epfd : -1; }

}  // namespace qxplat
