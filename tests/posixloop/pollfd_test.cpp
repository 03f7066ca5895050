// The POSIX loop seen from a game's own poll() loop: its descriptor is
// readable exactly while PumpMessages(0) has work, and readiness nobody asked
// for cannot keep it readable (a poll loop would spin).
#include "platform/sockets.h"
#include "platform/wnd.h"
#include "support/pump.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>
#include <vector>

namespace {

using namespace qxplat;

const unsigned int kSockMsg = kWmUser + 21;
const unsigned int kPostedMsg = kWmUser + 22;

struct TSeen {
    std::vector<unsigned int> msgs;
    std::vector<long> sockEvents;
};
TSeen* g_pSeen = nullptr;

bool Proc(unsigned int msg, uintptr_t, intptr_t lParam)
{
    g_pSeen->msgs.push_back(msg);
    if (msg == kSockMsg)
        g_pSeen->sockEvents.push_back(lParam & 0xFFFF);
    return true;
}

bool Readable(int fd, int waitMs)
{
    pollfd p = {fd, POLLIN, 0};
    return poll(&p, 1, waitMs) == 1 && (p.revents & POLLIN);
}

class PollFd : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureSockWnd();
        g_pSeen = &m_Seen;
        m_pWnd = CreateHiddenWnd(nullptr, "QX_POLLFD_WND", "PollFd", Proc);
        ASSERT_NE(nullptr, m_pWnd);
        m_nFd = PumpPollFd();
        ASSERT_GE(m_nFd, 0);
        Drain();
        ASSERT_FALSE(Readable(m_nFd, 0)) << "readable with nothing to do";
    }
    void TearDown() override
    {
        DestroyHiddenWnd(m_pWnd);
        g_pSeen = nullptr;
    }
    // Pumps while the descriptor says there is work, at most a few rounds:
    // more would mean it stays readable for nothing.
    int Drain()
    {
        int handled = 0;
        for (int round = 0; round < 4 && Readable(m_nFd, 0); ++round)
            handled += PumpMessages(0);
        return handled;
    }

    TSeen m_Seen;
    HiddenWnd* m_pWnd = nullptr;
    int m_nFd = -1;
};

TEST_F(PollFd, SameDescriptorOnTheThreadNoneElsewhere)
{
    EXPECT_EQ(PumpPollFd(), m_nFd);
    int other = 0;
    std::thread([&] { other = PumpPollFd(); }).join();
    EXPECT_EQ(-1, other);
}

TEST_F(PollFd, MessagePostedFromAnotherThreadMakesItReadable)
{
    std::thread([&] { PostWndMessage(m_pWnd, kPostedMsg, 0, 0); }).join();
    ASSERT_TRUE(Readable(m_nFd, 5000));
    EXPECT_EQ(1, Drain());
    EXPECT_EQ(std::vector<unsigned int>{kPostedMsg}, m_Seen.msgs);
    EXPECT_FALSE(Readable(m_nFd, 0));
}

TEST_F(PollFd, DueTimerMakesItReadableAndAKilledOneStopsIt)
{
    ASSERT_TRUE(SetWndTimer(m_pWnd, 9, 20));
    ASSERT_TRUE(Readable(m_nFd, 5000));
    EXPECT_GE(Drain(), 1);
    EXPECT_EQ(kWmTimer, m_Seen.msgs.at(0));
    ASSERT_TRUE(KillWndTimer(m_pWnd, 9));
    // At most one empty wake-up for the killed timer, then silence.
    if (Readable(m_nFd, 100)) {
        EXPECT_EQ(0, Drain());
    }
    EXPECT_FALSE(Readable(m_nFd, 100));
    EXPECT_EQ(1u, m_Seen.msgs.size());
}

TEST_F(PollFd, UnreadDataStopsWakingUntilTheNextRecv)
{
    int sv[2];
    ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv));
    SockHandle s = static_cast<SockHandle>(sv[0]);
    ASSERT_TRUE(SockAsyncSelect(s, m_pWnd, kSockMsg, kFdRead | kFdWrite | kFdClose));
    Drain();  // the FD_WRITE of a connected socket
    m_Seen = TSeen();

    ASSERT_EQ(2, write(sv[1], "ab", 2));
    ASSERT_TRUE(Readable(m_nFd, 5000));
    Drain();
    EXPECT_EQ(std::vector<long>{kFdRead}, m_Seen.sockEvents);
    // FD_READ was not answered by a recv: the two bytes wait, and so must
    // the descriptor.
    EXPECT_FALSE(Readable(m_nFd, 0));

    char c;
    ASSERT_EQ(1, SockRecv(s, &c, 1));  // re-enables FD_READ with one byte left
    ASSERT_TRUE(Readable(m_nFd, 5000));
    Drain();
    EXPECT_EQ((std::vector<long>{kFdRead, kFdRead}), m_Seen.sockEvents);

    close(sv[1]);  // the close still comes through after the data is read
    ASSERT_EQ(1, SockRecv(s, &c, 1));
    ASSERT_TRUE(Readable(m_nFd, 5000));
    Drain();
    EXPECT_EQ((std::vector<long>{kFdRead, kFdRead, kFdClose}), m_Seen.sockEvents);
    EXPECT_FALSE(Readable(m_nFd, 0)) << "a closed peer keeps the descriptor readable";
    SockClose(s);
}

// Thousands of timers on one loop: each live one fires, no killed one does.
TEST_F(PollFd, ManyTimersFireByDueTimeAndKilledOnesStaySilent)
{
    static std::vector<int>* s_pFired;
    std::vector<int> fired(3000, 0);
    s_pFired = &fired;
    HiddenWnd* wnd = CreateHiddenWnd(nullptr, "QX_POLLFD_TIMERS", "Timers",
                                     [](unsigned int msg, uintptr_t id, intptr_t) {
                                         if (msg == kWmTimer && id < s_pFired->size())
                                             ++(*s_pFired)[id];
                                         return true;
                                     });
    ASSERT_NE(nullptr, wnd);
    for (uintptr_t id = 0; id < fired.size(); ++id)
        ASSERT_TRUE(SetWndTimer(wnd, id, static_cast<unsigned int>(10 + id % 50)));
    for (uintptr_t id = 1; id < fired.size(); id += 2) ASSERT_TRUE(KillWndTimer(wnd, id));
    EXPECT_TRUE(PumpUntil([&] {
        for (size_t id = 0; id < fired.size(); id += 2)
            if (fired[id] == 0)
                return false;
        return true;
    }));
    for (size_t id = 1; id < fired.size(); id += 2) EXPECT_EQ(0, fired[id]) << id;
    DestroyHiddenWnd(wnd);
    // A destroyed window's timers are gone with it.
    Drain();
    EXPECT_FALSE(Readable(m_nFd, 100));
}

}  // namespace
