#include "platform/thread.h"
#include "platform/time.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>

namespace {

using namespace qxplat;

TEST(Thread, WaitTimesOutWhileTheBodyIsBlockedThenSeesItEnd)
{
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    auto captured = std::make_shared<int>(0);
    uint32_t bodyId = 0;
    ThreadHandle* t = StartThread([released, captured, &bodyId] {
        bodyId = CurrentThreadId();
        released.wait();
        *captured = 42;
    });
    ASSERT_NE(t, nullptr);

    EXPECT_FALSE(WaitThread(t, 0));
    uint32_t start = TickCountMs();
    EXPECT_FALSE(WaitThread(t, 100));
    EXPECT_GE(TickCountMs() - start, 50u);

    release.set_value();
    ASSERT_TRUE(WaitThread(t, 10000));
    EXPECT_TRUE(WaitThread(t, 0));  // the handle stays valid and signalled
    EXPECT_EQ(*captured, 42);
    // What the body held is released before the wait reports its end.
    EXPECT_EQ(captured.use_count(), 1);
    EXPECT_NE(bodyId, 0u);
    EXPECT_NE(bodyId, CurrentThreadId());
    DetachThread(t);
}

// Signals when the last copy of the body is gone, i.e. after the detached
// thread has finished with everything it shares.
struct CGoneSignal {
    std::promise<void> gone;
    ~CGoneSignal() { gone.set_value(); }
};

TEST(Thread, DetachedThreadRunsOnAndCleansUp)
{
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    auto signal = std::make_shared<CGoneSignal>();
    std::future<void> gone = signal->gone.get_future();
    ThreadHandle* t = StartThread([released, signal] { released.wait(); });
    ASSERT_NE(t, nullptr);
    signal.reset();

    EXPECT_FALSE(WaitThread(t, 0));
    DetachThread(t);
    release.set_value();
    EXPECT_EQ(gone.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

TEST(Thread, ExceptionsStayInsideTheThread)
{
    ThreadHandle* a = StartThread([] { throw std::runtime_error("body failed"); });
    ThreadHandle* b = StartThread([] { throw 1; });
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(WaitThread(a, 10000));
    EXPECT_TRUE(WaitThread(b, 10000));
    DetachThread(a);
    DetachThread(b);
}

}  // namespace
