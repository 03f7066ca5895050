#include "common/syncwnd/msgsyncwnd.h"
#include "support/pump.h"

#include <gtest/gtest.h>

#include <boost/bind/bind.hpp>
#include <cstdint>
#include <type_traits>

#include <atomic>
#include <stdexcept>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

using namespace boost::placeholders;

namespace {

void Nothing(unsigned int, int32_t) {}

TEST(SyncWndTokens, OrderWrapAndSkip)
{
    CMsgSyncWnd w;  // a fresh table; the process-wide one is shared with other tests
    EXPECT_EQ(1025u, w.AddCallback(Nothing));
    EXPECT_EQ(1026u, w.AddCallback(Nothing));  // stays registered
    unsigned int t = w.AddCallback(Nothing);
    EXPECT_EQ(1027u, t);
    EXPECT_TRUE(w.RemoveCallback(t));
    EXPECT_TRUE(w.RemoveCallback(1025));
    while (t < 32752u) {
        t = w.AddCallback(Nothing);
        ASSERT_TRUE(w.RemoveCallback(t));
    }
    EXPECT_EQ(32753u, w.AddCallback(Nothing));
    // 1,025 belongs to the first cycle only; 1,026 is still registered.
    EXPECT_EQ(1027u, w.AddCallback(Nothing));
    EXPECT_TRUE(w.FindCallback(1026, nullptr));
    EXPECT_FALSE(w.RemoveCallback(1028));
}

TEST(SyncWndTokens, ExhaustedTableGivesNoToken)
{
    CMsgSyncWnd w;
    unsigned int count = 0;
    while (w.AddCallback(Nothing) != 0) ++count;
    EXPECT_EQ(32753u - 1025u + 1u, count);
    EXPECT_FALSE(w.SyncCall(Nothing, 1, 2));
}

struct CRecorder {
    std::thread::id m_Thread;
    unsigned int m_nW = 0;
    int32_t m_nL = 0;
    int m_nCalls = 0;
    std::atomic<bool>* m_pReturned = nullptr;
    bool m_bReturnedEarly = false;
    void On(unsigned int w, int32_t l)
    {
        m_Thread = std::this_thread::get_id();
        m_nW = w;
        m_nL = l;
        ++m_nCalls;
        if (m_pReturned && *m_pReturned)
            m_bReturnedEarly = true;
    }
    void Throw(unsigned int, int32_t) { throw std::runtime_error("callback failed"); }
};

class SyncWnd : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
#ifdef _WIN32
        void* module = GetModuleHandleA(nullptr);
#else
        void* module = nullptr;
#endif
        ASSERT_TRUE(CMsgSyncWnd::Instance().Create(module));
    }
};

TEST_F(SyncWnd, SecondCreateKeepsTheFirstWindow)
{
    EXPECT_FALSE(CMsgSyncWnd::Instance().Create(nullptr));
    CRecorder r;
    EXPECT_TRUE(CMsgSyncWnd::Instance().SyncCall(boost::bind(&CRecorder::On, &r, _1, _2), 1, 2));
    EXPECT_EQ(1, r.m_nCalls);
}

TEST_F(SyncWnd, TheSecondArgumentIsASigned32BitValue)
{
    static_assert(
        std::is_same<CMsgSyncWnd::Callback, boost::function<void(unsigned int, int32_t)>>::value,
        "callbacks take an unsigned and a signed 32-bit value");
    CRecorder r;
    for (int32_t l : {INT32_MIN, -1, INT32_MAX}) {
        EXPECT_TRUE(CMsgSyncWnd::Instance().SyncCall(boost::bind(&CRecorder::On, &r, _1, _2),
                                                     0xFFFFFFFFu, l));
        EXPECT_EQ(0xFFFFFFFFu, r.m_nW);
        EXPECT_EQ(l, r.m_nL);
    }
}

TEST_F(SyncWnd, OnTheWindowThreadTheCallbackRunsAtOnce)
{
    CRecorder r;
    EXPECT_TRUE(CMsgSyncWnd::Instance().SyncCall(boost::bind(&CRecorder::On, &r, _1, _2), 7u, -3));
    EXPECT_EQ(1, r.m_nCalls);
    EXPECT_EQ(7u, r.m_nW);
    EXPECT_EQ(-3, r.m_nL);
    EXPECT_EQ(std::this_thread::get_id(), r.m_Thread);
}

TEST_F(SyncWnd, WorkerWaitsForTheWindowThread)
{
    CRecorder r;
    std::atomic<bool> returned{false};
    std::atomic<bool> result{false};
    r.m_pReturned = &returned;
    std::thread worker([&] {
        result = CMsgSyncWnd::Instance().SyncCall(boost::bind(&CRecorder::On, &r, _1, _2),
                                                  0xFFFFFFFFu, -1);
        returned = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return returned.load(); }));
    worker.join();
    EXPECT_TRUE(result);
    EXPECT_EQ(1, r.m_nCalls);
    EXPECT_FALSE(r.m_bReturnedEarly);
    EXPECT_EQ(std::this_thread::get_id(), r.m_Thread);
    EXPECT_EQ(0xFFFFFFFFu, r.m_nW);
    EXPECT_EQ(-1, r.m_nL);
}

TEST_F(SyncWnd, ThrowingOrEmptyCallbackLeavesTheWindowWorking)
{
    CRecorder r;
    CMsgSyncWnd& w = CMsgSyncWnd::Instance();
    EXPECT_TRUE(w.SyncCall(boost::bind(&CRecorder::Throw, &r, _1, _2), 1, 1));
    EXPECT_TRUE(w.SyncCall(CMsgSyncWnd::Callback(), 1, 1));
    std::atomic<bool> done{false};
    std::thread worker([&] {
        w.SyncCall(boost::bind(&CRecorder::Throw, &r, _1, _2), 1, 1);
        w.SyncCall(boost::bind(&CRecorder::On, &r, _1, _2), 5, 6);
        done = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(1, r.m_nCalls);
    EXPECT_EQ(5u, r.m_nW);
}

TEST_F(SyncWnd, NotifyNeedsARegisteredToken)
{
    CRecorder r;
    CMsgSyncWnd& w = CMsgSyncWnd::Instance();
    EXPECT_FALSE(w.Notify(40000, 1, 2, true));
    unsigned int token = w.AddCallback(boost::bind(&CRecorder::On, &r, _1, _2));
    ASSERT_NE(0u, token);
    EXPECT_TRUE(w.Notify(token, 3, 4, false));  // posted: runs when pumped
    EXPECT_EQ(0, r.m_nCalls);
    EXPECT_TRUE(PumpUntil([&] { return r.m_nCalls == 1; }));
    EXPECT_TRUE(w.RemoveCallback(token));
    EXPECT_EQ(3u, r.m_nW);
}

TEST_F(SyncWnd, CallbackMayCallSyncCallAgain)
{
    CRecorder inner;
    struct COuter {
        CRecorder* m_pInner;
        bool m_bNested = false;
        void On(unsigned int, int32_t)
        {
            m_bNested = CMsgSyncWnd::Instance().SyncCall(
                boost::bind(&CRecorder::On, m_pInner, _1, _2), 9, 9);
        }
    } outer{&inner};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        CMsgSyncWnd::Instance().SyncCall(boost::bind(&COuter::On, &outer, _1, _2), 0, 0);
        done = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_TRUE(outer.m_bNested);
    EXPECT_EQ(1, inner.m_nCalls);
}

TEST_F(SyncWnd, ATimerRunsOnceUnlessCancelled)
{
    CMsgSyncWnd& w = CMsgSyncWnd::Instance();
    CRecorder fired, cancelled;
    unsigned int a = w.StartTimer(boost::bind(&CRecorder::On, &fired, _1, _2), 10);
    unsigned int b = w.StartTimer(boost::bind(&CRecorder::On, &cancelled, _1, _2), 10);
    ASSERT_NE(0u, a);
    ASSERT_NE(0u, b);
    EXPECT_NE(a, b);
    EXPECT_TRUE(w.CancelTimer(b));
    EXPECT_TRUE(PumpUntil([&] { return fired.m_nCalls > 0; }));
    PumpFor(100);  // a window timer would have come again by now
    EXPECT_EQ(1, fired.m_nCalls);
    EXPECT_EQ(std::this_thread::get_id(), fired.m_Thread);
    EXPECT_EQ(0, cancelled.m_nCalls);
    EXPECT_FALSE(w.CancelTimer(a));  // it has run
}

}  // namespace
