// Hand-written routines for the instructions compilers rarely emit. Each
// stores results and pushfd-captured flags (masked to the flags the
// processor defines) into a data area. In the Windows build the same bytes
// also run natively on random inputs; both builds check the results of a
// fixed input against digests recorded from native runs.

#include "embedded.h"
#include "nativecall.h"
#include "qxnetengine/keyroutine/x86machine.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const uint32_t kDataSize = 4096;
const size_t kInputSize = 256;
const uint8_t kFixedParam = 0x5A;
const size_t kRandomInputs = 150;

struct TStoredDigest {
    const char* name;
    uint64_t digest;  // of the whole data area after the run on the fixed input
};
#include "asm_expected.inc"

uint64_t Digest(const std::vector<uint8_t>& data)
{
    uint64_t h = 0xCBF29CE484222325ull;  // FNV-1a
    for (uint8_t b : data) {
        h = (h ^ b) * 0x100000001B3ull;
    }
    return h;
}

// The entry of asm_expected.inc for these results.
std::string DigestLine(const char* name, const std::vector<uint8_t>& data)
{
    char line[96];
    std::snprintf(line, sizeof(line), "    {\"%s\", 0x%016" PRIX64 "ull},", name, Digest(data));
    return line;
}

std::vector<uint8_t> Input(uint64_t seed)
{
    std::vector<uint8_t> data(kDataSize, 0);
    CTestRng rng(seed);
    rng.Fill(data.data(), kInputSize);
    return data;
}

TKeyRoutineResult RunInSandbox(const TAsmBlob& blob, std::vector<uint8_t>* data, uint8_t param)
{
    CX86Machine machine(blob.pCode, static_cast<uint32_t>(blob.nLen), data->data(), kDataSize,
                        CKeyRoutineSandbox::kDefaultBudget);
    return machine.Run(param);
}

std::string FirstDifference(const std::vector<uint8_t>& expected, const std::vector<uint8_t>& got)
{
    for (size_t i = 0; i + 4 <= expected.size(); i += 4) {
        const uint32_t e = ReadU32LE(&expected[i]);
        const uint32_t g = ReadU32LE(&got[i]);
        if (e != g) {
            char line[96];
            std::snprintf(line, sizeof(line), "offset %zu (result %zu): native %08X, sandbox %08X",
                          i, i >= kInputSize ? (i - kInputSize) / 4 : 0, e, g);
            return line;
        }
    }
    return "no difference";
}

const TStoredDigest* Stored(const char* name)
{
    for (const TStoredDigest& d : kStoredDigests) {
        if (std::strcmp(d.name, name) == 0) {
            return &d;
        }
    }
    return nullptr;
}

TEST(KeyRoutineAsm, SandboxGivesTheRecordedResults)
{
    size_t count = 0;
    const TAsmBlob* blobs = AsmBlobs(&count);
    ASSERT_GT(count, 0u);
    for (size_t i = 0; i < count; ++i) {
        SCOPED_TRACE(blobs[i].pName);
        std::vector<uint8_t> data = Input(0);
        const TKeyRoutineResult r = RunInSandbox(blobs[i], &data, kFixedParam);
        ASSERT_TRUE(r.IsOk()) << DescribeKeyRoutineResult(r);
        const TStoredDigest* stored = Stored(blobs[i].pName);
        ASSERT_NE(stored, nullptr) << "no recorded digest; the sandbox gives\n"
                                   << DigestLine(blobs[i].pName, data);
        EXPECT_EQ(stored->digest, Digest(data)) << "the sandbox gives\n"
                                                << DigestLine(blobs[i].pName, data);
    }
}

TEST(KeyRoutineAsm, SandboxMatchesNativeExecution)
{
    if (!CNativeRoutine::Available()) {
        GTEST_SKIP() << "native execution needs the 32-bit Windows build";
    }
    size_t count = 0;
    const TAsmBlob* blobs = AsmBlobs(&count);
    for (size_t i = 0; i < count; ++i) {
        SCOPED_TRACE(blobs[i].pName);
        const CNativeRoutine native(blobs[i].pCode, blobs[i].nLen);
        CTestRng params(i);
        for (size_t n = 0; n <= kRandomInputs; ++n) {
            const uint8_t param = n == 0 ? kFixedParam : params.Byte();
            std::vector<uint8_t> expected = Input(n);
            std::vector<uint8_t> got = expected;
            native.Call(expected.data(), param);
            const TKeyRoutineResult r = RunInSandbox(blobs[i], &got, param);
            ASSERT_TRUE(r.IsOk()) << DescribeKeyRoutineResult(r);
            ASSERT_EQ(expected, got) << "input " << n << ": " << FirstDifference(expected, got);
            if (n == 0) {
                const TStoredDigest* stored = Stored(blobs[i].pName);
                EXPECT_TRUE(stored != nullptr && stored->digest == Digest(expected))
                    << "native run of the fixed input:\n"
                    << DigestLine(blobs[i].pName, expected);
            }
        }
    }
}

}  // namespace
