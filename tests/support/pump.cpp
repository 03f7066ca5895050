#include "support/pump.h"

#include "common/msgsocket/msgsocket.h"
#include "platform/paths.h"
#include "platform/wnd.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

using Clock = std::chrono::steady_clock;

namespace {

std::mutex g_TurnLock;
std::condition_variable g_TurnDone;
uint64_t g_nTurns = 0;

void Pump(int timeoutMs)
{
    qxplat::PumpMessages(timeoutMs);
    {
        std::lock_guard<std::mutex> lock(g_TurnLock);
        ++g_nTurns;
    }
    g_TurnDone.notify_all();
}

}  // namespace

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
        Pump(left < 50 ? left : 50);
    }
    return true;
}

void PumpFor(int ms)
{
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (int left = LeftMs(deadline); left > 0; left = LeftMs(deadline)) Pump(left);
}

uint64_t PumpTurns()
{
    std::lock_guard<std::mutex> lock(g_TurnLock);
    return g_nTurns;
}

void WaitForPumpTurn(uint64_t seen, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(g_TurnLock);
    g_TurnDone.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return g_nTurns > seen; });
}
