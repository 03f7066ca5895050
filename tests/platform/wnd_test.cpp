// Hidden windows, timers and cross-thread sends, the same on both targets.
#include "platform/wnd.h"
#include "support/pump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace {

using namespace qxplat;

const unsigned int kAskMsg = kWmUser + 7;
const unsigned int kPostedMsg = kWmUser + 8;
const unsigned int kStreamMsg = kWmUser + 9;  // each one posts the next

struct TState {
    HiddenWnd* wnd = nullptr;
    int ticks = 0;
    int killAt = 0;
    std::thread::id ranOn;
    std::atomic<bool> handled{false};
    std::vector<uintptr_t> posted;
    int streamed = 0;
    int streamEnd = 0;
};
TState* g_pState = nullptr;

bool Proc(unsigned int msg, uintptr_t wParam, intptr_t lParam)
{
    TState& st = *g_pState;
    if (msg == kWmTimer && wParam == 5) {
        if (++st.ticks == st.killAt)
            KillWndTimer(st.wnd, 5);
        return true;
    }
    if (msg == kPostedMsg) {
        st.posted.push_back(wParam);
        if (wParam == 1) {  // a handler that runs a message loop of its own
            PostWndMessage(st.wnd, kPostedMsg, 2, 0);
            PumpMessages(0);
        }
        return true;
    }
    if (msg == kStreamMsg) {
        if (++st.streamed < st.streamEnd)
            PostWndMessage(st.wnd, kStreamMsg, 0, 0);
        return true;
    }
    if (msg == kAskMsg && wParam == 11 && lParam == -3) {
        st.ranOn = std::this_thread::get_id();
        st.handled = true;
        return true;
    }
    return false;
}

class Wnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureSockWnd();
        g_pState = &m_State;
        m_State.wnd = CreateHiddenWnd(nullptr, "QX_CONTRACT_TIMER_WND", "Timers", Proc);
        ASSERT_NE(nullptr, m_State.wnd);
    }
    void TearDown() override
    {
        DestroyHiddenWnd(m_State.wnd);
        g_pState = nullptr;
    }
    TState m_State;
};

TEST_F(Wnd, TimerRepeatsUntilKilled)
{
    m_State.killAt = 3;
    ASSERT_TRUE(SetWndTimer(m_State.wnd, 5, 20));
    ASSERT_TRUE(PumpUntil([&] { return m_State.ticks == 3; }));
    PumpFor(150);
    EXPECT_EQ(3, m_State.ticks);  // killed from inside its own tick
    EXPECT_FALSE(KillWndTimer(m_State.wnd, 5));
}

TEST_F(Wnd, KilledBeforeItsFirstTickItNeverFires)
{
    ASSERT_TRUE(SetWndTimer(m_State.wnd, 5, 30));
    EXPECT_TRUE(KillWndTimer(m_State.wnd, 5));
    PumpFor(120);
    EXPECT_EQ(0, m_State.ticks);
}

TEST_F(Wnd, SendFromAnotherThreadRunsOnTheWindowThreadAndWaits)
{
    std::atomic<bool> returned{false};
    bool handledFirst = false;
    std::thread worker([&] {
        SendWndMessage(m_State.wnd, kAskMsg, 11, -3);
        handledFirst = m_State.handled;
        returned = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return returned.load(); }));
    worker.join();
    EXPECT_TRUE(handledFirst);
    EXPECT_EQ(std::this_thread::get_id(), m_State.ranOn);

    // On its own thread the send is a direct call.
    m_State.handled = false;
    SendWndMessage(m_State.wnd, kAskMsg, 11, -3);
    EXPECT_TRUE(m_State.handled);
}

// The inner loop must not disturb the round that called the handler, however
// many messages that round still holds.
TEST_F(Wnd, APumpInsideAHandlerDeliversEveryMessageOnce)
{
    const uintptr_t kPosted = 300;
    for (uintptr_t i = 1; i <= kPosted; ++i)
        ASSERT_TRUE(PostWndMessage(m_State.wnd, kPostedMsg, i == 1 ? 1 : i + 1, 0));
    ASSERT_TRUE(PumpUntil([&] { return m_State.posted.size() >= kPosted + 1; }));
    PumpFor(50);
    std::vector<uintptr_t> seen = m_State.posted, expected;
    std::sort(seen.begin(), seen.end());
    for (uintptr_t i = 1; i <= kPosted + 1; ++i) expected.push_back(i);
    EXPECT_EQ(expected, seen);
}

// A socket that keeps receiving never empties the queue: the loop must still
// come back to its caller (a stop flag, a condition it waits for).
TEST_F(Wnd, ALoopReturnsWhileMessagesKeepComing)
{
    m_State.streamEnd = 10000;
    ASSERT_TRUE(PostWndMessage(m_State.wnd, kStreamMsg, 0, 0));
    int handled = PumpMessages(0);
    EXPECT_GT(handled, 0);
    EXPECT_LT(m_State.streamed, m_State.streamEnd);
    ASSERT_TRUE(PumpUntil([&] { return m_State.streamed == m_State.streamEnd; }, 30000));
}

}  // namespace
