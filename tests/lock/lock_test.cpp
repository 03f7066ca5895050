#include "common/lock/lock.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(Lock, OwnerMayLockAgain)
{
    CCritSection cs;
    cs.Lock();
    cs.Lock();
    EXPECT_TRUE(cs.TryLock());
    cs.Unlock();
    cs.Unlock();
    cs.Unlock();
    bool other = false;
    std::thread([&] {
        other = cs.TryLock();
        if (other)
            cs.Unlock();
    }).join();
    EXPECT_TRUE(other);
}

TEST(Lock, TryLockFailsWhileAnotherThreadHoldsIt)
{
    CCritSection cs;
    CAutoLock hold(&cs);
    bool locked = true;
    std::thread([&] {
        CTryLock attempt(&cs);
        locked = attempt.IsLocked();
    }).join();
    EXPECT_FALSE(locked);
}

TEST(Lock, GuardsAcceptNull)
{
    CAutoLock a(nullptr);
    CTryLock t(nullptr);
    EXPECT_FALSE(t.IsLocked());
}

}  // namespace
