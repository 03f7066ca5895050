#pragma once
// Clocks: local time for the log, a millisecond tick for time-outs.

#include <cstdint>

namespace qxplat {

struct TLocalTime {
    int year, month, day, hour, minute, second, millisecond;
};
void GetLocalTimeNow(TLocalTime* t);

// Milliseconds since an arbitrary start, wrapping at 32 bits (GetTickCount).
uint32_t TickCountMs();

}  // namespace qxplat
