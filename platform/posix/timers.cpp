#include "platform/posix/timers.h"

namespace qxplat {
namespace posixloop {

void TimerTable::Schedule(Key key, Timer& t, Clock::time_point due)
{
    t.due = due;
    t.seq = m_nSeq++;
    m_Schedule.emplace(t.due, t.seq, key);
}

void TimerTable::Set(Key key, unsigned int ms, Clock::time_point now)
{
    auto it = m_Timers.find(key);
    if (it == m_Timers.end())
        it = m_Timers.emplace(key, Timer{ms, now, 0}).first;
    else
        m_Schedule.erase(Slot(it->second.due, it->second.seq, key));
    it->second.ms = ms;
    Schedule(key, it->second, now + std::chrono::milliseconds(ms));
}

bool TimerTable::Kill(Key key)
{
    auto it = m_Timers.find(key);
    if (it == m_Timers.end())
        return false;
    m_Schedule.erase(Slot(it->second.due, it->second.seq, key));
    m_Timers.erase(it);
    return true;
}

void TimerTable::KillWindow(uintptr_t wnd)
{
    auto it = m_Timers.lower_bound(Key(wnd, 0));
    while (it != m_Timers.end() && it->first.first == wnd) {
        m_Schedule.erase(Slot(it->second.due, it->second.seq, it->first));
        it = m_Timers.erase(it);
    }
}

void TimerTable::TakeDue(Clock::time_point now, std::vector<Key>& out)
{
    const size_t first = out.size();
    while (!m_Schedule.empty() && std::get<0>(*m_Schedule.begin()) <= now) {
        out.push_back(std::get<2>(*m_Schedule.begin()));
        m_Schedule.erase(m_Schedule.begin());
    }
    // Rescheduled only after the sweep: a zero period would otherwise be due
    // again at once and the sweep would never end.
    for (size_t i = first; i < out.size(); ++i) {
        Timer& t = m_Timers.at(out[i]);
        Schedule(out[i], t, now + std::chrono::milliseconds(t.ms));
    }
}

bool TimerTable::Earliest(Clock::time_point& due) const
{
    if (m_Schedule.empty())
        return false;
    due = std::get<0>(*m_Schedule.begin());
    return true;
}

}  // namespace posixloop
}  // namespace qxplat
