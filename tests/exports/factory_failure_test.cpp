// The factories must not let an exception from a constructor cross the
// stdcall export. This program replaces the global allocator so that a
// chosen allocation fails.
#include "QXNetEngine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// Counts down allocations; the one that takes it from 1 to 0 fails.
std::atomic<int> g_nFailIn{0};

void* Allocate(std::size_t n)
{
    int left = g_nFailIn.load();
    while (left > 0 && !g_nFailIn.compare_exchange_weak(left, left - 1)) {
    }
    if (left == 1)
        throw std::bad_alloc();
    void* p = std::malloc(n ? n : 1);
    if (!p)
        throw std::bad_alloc();
    return p;
}

}  // namespace

void* operator new(std::size_t n) { return Allocate(n); }
void* operator new[](std::size_t n) { return Allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(FactoryFailure, GameClientStoresNullWhenItsConstructionFails)
{
    // The first allocation is the object, the ones after it its buffers.
    for (int failAt = 1; failAt <= 3; ++failAt) {
        SCOPED_TRACE(failAt);
        IGameClient* client = reinterpret_cast<IGameClient*>(&failAt);
        g_nFailIn = failAt;
        EXPECT_EQ(1, QXGameClient_Get(&client, 0));
        g_nFailIn = 0;
        EXPECT_EQ(nullptr, client);
    }
    IGameClient* client = nullptr;
    EXPECT_EQ(1, QXGameClient_Get(&client, 0));
    ASSERT_NE(nullptr, client);
    client->Release();
}

}  // namespace

namespace {

TEST(FactoryFailure, ANullOutPointerCreatesNothing)
{
    EXPECT_EQ(0, QXGameClient_Get(nullptr, 0));
    EXPECT_EQ(0, QXNetEngine_Get(nullptr, 0));
    INetEngine* engine = nullptr;
    g_nFailIn = 1;
    EXPECT_EQ(1, QXNetEngine_Get(&engine, 0));
    g_nFailIn = 0;
    EXPECT_EQ(nullptr, engine);
}

}  // namespace
