#include "support/pump.h"

#include "common/msgsocket/msgsocket.h"
#include "platform/paths.h"
#include "platform/wnd.h"

#include <chrono>

using Clock = std::chrono::steady_clock;

void EnsureSockWnd()
{
    InitSockWnd(qxplat::LibraryModule());
}

static int LeftMs(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

bool PumpUntil(const std::function<bool()>& cond, int timeoutMs)
{
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!cond()) {
        int left = LeftMs(deadline);
        if (left == 0)
            return false;
        qxplat::PumpMessages(left < 50 ? left : 50);
    }
    return true;
}

void PumpFor(int ms)
{
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (int left = LeftMs(deadline); left > 0; left = LeftMs(deadline)) qxplat::PumpMessages(left);
}
