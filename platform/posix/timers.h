#pragma once
// The timers of one POSIX loop, ordered by when they are due, so that finding
// the next one costs the same with ten timers or ten thousand.

#include <chrono>
#include <cstdint>
#include <map>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

namespace qxplat {
namespace posixloop {

class TimerTable {
public:
    using Clock = std::chrono::steady_clock;
    using Key = std::pair<uintptr_t, uintptr_t>;  // window, timer id

    // Starts the timer, or restarts it with the new period when it exists.
    void Set(Key key, unsigned int ms, Clock::time_point now);
    bool Kill(Key key);
    void KillWindow(uintptr_t wnd);
    bool Alive(Key key) const { return m_Timers.count(key) != 0; }
    // Appends every timer due by now and schedules its next firing a period
    // after now (a late timer fires once, not once per missed period).
    void TakeDue(Clock::time_point now, std::vector<Key>& out);
    // False when there is no timer.
    bool Earliest(Clock::time_point& due) const;

private:
    struct Timer {
        unsigned int ms;
        Clock::time_point due;
        uint64_t seq;
    };
    // Due time, then order of setting, for timers due at the same moment.
    using Slot = std::tuple<Clock::time_point, uint64_t, Key>;

    void Schedule(Key key, Timer& t, Clock::time_point due);

    std::map<Key, Timer> m_Timers;
    std::set<Slot> m_Schedule;
    uint64_t m_nSeq = 0;
};

}  // namespace posixloop
}  // namespace qxplat
