// The corpus run in the sandbox (and, in the Windows build, natively) must
// give exactly the block that the same C compiled into this program gives.

#include "embedded.h"
#include "nativecall.h"
#include "qxnetengine/keyroutine/keyroutine.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

const size_t kTrials = 48;  // blocks per routine and optimisation level
const unsigned kLevels = 5;

struct TTrial {
    uint8_t block[16];
    uint8_t param;
    uint8_t expected[16];
};

// Per routine: the edge blocks (all zero, all ones) and random ones, each
// with the block the natively compiled C gives.
std::vector<std::vector<TTrial>> ExpectedTrials()
{
    CTestRng rng(0x6B65792D626C6F63ull);
    std::vector<std::vector<TTrial>> all(kr_thunk_count);
    for (unsigned r = 0; r < kr_thunk_count; ++r) {
        for (size_t i = 0; i < kTrials; ++i) {
            TTrial t;
            if (i < 2) {
                std::memset(t.block, i == 0 ? 0x00 : 0xFF, sizeof(t.block));
                t.param = i == 0 ? 0x00 : 0xFF;
            } else {
                rng.Fill(t.block, sizeof(t.block));
                t.param = rng.Byte();
            }
            std::memcpy(t.expected, t.block, sizeof(t.block));
            kr_thunks[r](t.expected, t.param);
            all[r].push_back(t);
        }
    }
    return all;
}

std::string Where(const TCorpusBlob& blob, const TTrial& t)
{
    return "kr_" + std::to_string(blob.nRoutine) + " -" + blob.pLevel + ", block " +
           HexBytes(t.block, 16) + ", param " + std::to_string(t.param);
}

TEST(KeyRoutineCorpus, SandboxGivesTheBlockOfTheCompiledC)
{
    size_t count = 0;
    const TCorpusBlob* blobs = CorpusBlobs(&count);
    ASSERT_EQ(count, kr_thunk_count * kLevels);
    const std::vector<std::vector<TTrial>> trials = ExpectedTrials();
    const CKeyRoutineSandbox sandbox;
    uint64_t executed = 0;
    int failures = 0;
    for (size_t b = 0; b < count && failures < 5; ++b) {
        for (const TTrial& t : trials[blobs[b].nRoutine]) {
            uint8_t block[16];
            std::memcpy(block, t.block, sizeof(block));
            const TKeyRoutineResult r = sandbox.Run(blobs[b].pCode, blobs[b].nLen, block, t.param);
            executed += r.nExecuted;
            if (!r.IsOk() || std::memcmp(block, t.expected, sizeof(block)) != 0) {
                ADD_FAILURE() << Where(blobs[b], t) << ": " << DescribeKeyRoutineResult(r)
                              << "\n  expected " << HexBytes(t.expected, 16) << "\n  got      "
                              << HexBytes(block, 16);
                ++failures;
                break;
            }
        }
    }
    std::printf("corpus: %u routines at %u levels, %zu runs, %llu instructions interpreted\n",
                kr_thunk_count, kLevels, count * kTrials,
                static_cast<unsigned long long>(executed));
}

TEST(KeyRoutineCorpus, NativeExecutionGivesTheSameBlock)
{
    if (!CNativeRoutine::Available()) {
        GTEST_SKIP() << "native execution needs the 32-bit Windows build";
    }
    size_t count = 0;
    const TCorpusBlob* blobs = CorpusBlobs(&count);
    const std::vector<std::vector<TTrial>> trials = ExpectedTrials();
    int failures = 0;
    for (size_t b = 0; b < count && failures < 5; ++b) {
        const CNativeRoutine native(blobs[b].pCode, blobs[b].nLen);
        for (const TTrial& t : trials[blobs[b].nRoutine]) {
            uint8_t block[16];
            std::memcpy(block, t.block, sizeof(block));
            native.Call(block, t.param);
            if (std::memcmp(block, t.expected, sizeof(block)) != 0) {
                ADD_FAILURE() << Where(blobs[b], t) << "\n  expected " << HexBytes(t.expected, 16)
                              << "\n  native   " << HexBytes(block, 16);
                ++failures;
                break;
            }
        }
    }
}

}  // namespace
