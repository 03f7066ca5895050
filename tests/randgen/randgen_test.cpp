#include "common/randgen/randgen.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>
#include <vector>

namespace {

std::vector<int> Draw(CRandGen& gen, int n)
{
    std::vector<int> v;
    for (int i = 0; i < n; ++i) v.push_back(gen.Next());
    return v;
}

// The well-known first values of that runtime's rand() without srand.
TEST(RandGen, DefaultSeedSequence)
{
    CRandGen gen;
    EXPECT_EQ((std::vector<int>{41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464}),
              Draw(gen, 10));
}

TEST(RandGen, SeedRestartsTheSequenceAndStaysInRange)
{
    CRandGen a(0x5F3759DFu), b;
    const std::vector<int> first = Draw(a, 1000);
    b.Seed(0x5F3759DFu);
    EXPECT_EQ(first, Draw(b, 1000));
    for (int v : first) ASSERT_TRUE(v >= 0 && v <= CRandGen::kMax);
}

// Each thread has its own generator that starts as if seeded with 1.
TEST(RandGen, OnePerThread)
{
    CRandGen::ForThread().Seed(99);
    const int mine = CRandGen::ForThread().Next();
    int other = -1;
    std::thread([&] { other = CRandGen::ForThread().Next(); }).join();
    EXPECT_EQ(41, other);
    CRandGen ref(99);
    EXPECT_EQ(ref.Next(), mine);
}

#ifdef _WIN32
// On Windows the C runtime's own rand() is the oracle.
TEST(RandGen, MatchesTheWindowsRuntime)
{
    for (unsigned int seed : {0u, 1u, 12345u, 0xFFFFFFFFu, 1700000000u}) {
        srand(seed);
        CRandGen gen(seed);
        for (int i = 0; i < 100; ++i) ASSERT_EQ(rand(), gen.Next()) << seed << " " << i;
    }
}
#endif

}  // namespace
