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

const size_t kTrials = 48;  // blocks per routine and compiler variant

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
    return "kr_" + std::to_string(blob.nRoutine) + " " + blob.pVariant + ", block " +
           HexBytes(t.block, 16) + ", param " + std::to_string(t.param);
}

// Every routine is in the corpus in every variant, or the build dropped it
// and said why; the generator keeps most routines free of data-section
// constants in every variant.
TEST(KeyRoutineCorpus, EveryCompilationIsRunOrDroppedWithAReason)
{
    size_t blobCount = 0;
    size_t dropCount = 0;
    size_t variantCount = 0;
    const TCorpusBlob* blobs = CorpusBlobs(&blobCount);
    const TCorpusDrop* drops = CorpusDrops(&dropCount);
    const char* const* variants = CorpusVariants(&variantCount);
    EXPECT_EQ(blobCount + dropCount, kr_thunk_count * variantCount);
    for (size_t v = 0; v < variantCount; ++v) {
        size_t kept = 0;
        size_t dropped = 0;
        for (size_t i = 0; i < blobCount; ++i) {
            kept += std::strcmp(blobs[i].pVariant, variants[v]) == 0 ? 1 : 0;
        }
        for (size_t i = 0; i < dropCount; ++i) {
            if (std::strcmp(drops[i].pVariant, variants[v]) == 0) {
                ++dropped;
                EXPECT_NE(std::strlen(drops[i].pReason), 0u);
            }
        }
        EXPECT_EQ(kept + dropped, kr_thunk_count) << variants[v];
        EXPECT_GE(kept, kr_thunk_count / 3) << variants[v] << ": most compilations dropped";
        std::printf("corpus %-16s %2zu routines run, %2zu dropped\n", variants[v], kept, dropped);
    }
}

TEST(KeyRoutineCorpus, SandboxGivesTheBlockOfTheCompiledC)
{
    size_t count = 0;
    const TCorpusBlob* blobs = CorpusBlobs(&count);
    ASSERT_GT(count, 0u);
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
    std::printf("corpus: %zu compiled routines, %zu runs, %llu instructions interpreted\n", count,
                count * kTrials, static_cast<unsigned long long>(executed));
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
