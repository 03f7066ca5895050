// The machine model as a routine sees it (entry stack, registers, return
// conventions, the block written back only on success, its own code
// readable and writable in a copy), and random or damaged code.

#include "embedded.h"
#include "qxnetengine/keyroutine/keyroutine.h"
#include "qxnetengine/keyroutine/x86machine.h"
#include "qxnetengine/keyroutine/x86memory.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// What a routine sees: the entry stack, the registers, the layout.
TEST(KeyRoutineModel, EntryStateAndReturnConventions)
{
    uint8_t block[16];
    // mov eax,[esp+8]; mov ecx,[esp+4]; mov [ecx],eax; mov edx,[esp]; mov [ecx+4],edx;
    // mov [ecx+8],esp; pushfd; pop dword [ecx+12]; ret
    const TBytes entry = {0x8B, 0x44, 0x24, 0x08, 0x8B, 0x4C, 0x24, 0x04, 0x89, 0x01, 0x8B, 0x14,
                          0x24, 0x89, 0x51, 0x04, 0x89, 0x61, 0x08, 0x9C, 0x8F, 0x41, 0x0C, 0xC3};
    ASSERT_TRUE(RunOnBlock(entry, block, 0xA7).IsOk());
    EXPECT_EQ(ReadU32LE(block), 0xA7u);  // the parameter as a 32-bit value
    EXPECT_EQ(ReadU32LE(block + 4), CX86Machine::kReturnSentinel);
    EXPECT_EQ(ReadU32LE(block + 8), kStackTop - 12);
    EXPECT_EQ(ReadU32LE(block + 12), 0x202u);  // no status flags, DF clear

    // mov eax,[esp+4]; mov [eax],ebx; mov [eax+4],edx; mov [eax+8],esi; mov [eax+12],edi; ret
    const TBytes registers = {0x8B, 0x44, 0x24, 0x04, 0x89, 0x18, 0x89, 0x50,
                              0x04, 0x89, 0x70, 0x08, 0x89, 0x78, 0x0C, 0xC3};
    std::memset(block, 0xFF, sizeof(block));
    ASSERT_TRUE(RunOnBlock(registers, block).IsOk());
    EXPECT_EQ(TBytes(block, block + 16), TBytes(16, 0));

    // Both conventions, any other return that reaches the sentinel, and the
    // "rep ret" some compilers emit.
    for (const TBytes& ret :
         {TBytes{0xC3}, TBytes{0xC2, 0x08, 0x00}, TBytes{0xC2, 0x04, 0x00}, TBytes{0xF3, 0xC3}}) {
        EXPECT_TRUE(RunOnBlock(ret, block).IsOk());
    }
}

// XMM and MMX registers start zeroed in every run: what one routine left
// there never reaches the next.
TEST(KeyRoutineModel, SimdRegistersStartZeroedInEveryRun)
{
    // mov eax,[esp+4]; movdqu [eax],xmm7; movq [eax+8],mm5; then both set
    // to all ones: pcmpeqb xmm7,xmm7; pcmpeqb mm5,mm5; ret
    const TBytes code = {0x8B, 0x44, 0x24, 0x04, 0xF3, 0x0F, 0x7F, 0x38, 0x0F, 0x7F,
                         0x68, 0x08, 0x66, 0x0F, 0x74, 0xFF, 0x0F, 0x74, 0xED, 0xC3};
    const CKeyRoutineSandbox sandbox;
    for (int run = 0; run < 2; ++run) {
        uint8_t block[16];
        std::memset(block, 0x5A, sizeof(block));
        ASSERT_TRUE(sandbox.Run(code.data(), code.size(), block, 0).IsOk());
        EXPECT_EQ(TBytes(block, block + 16), TBytes(16, 0)) << "run " << run;
    }
}

TEST(KeyRoutineModel, BlockChangesOnlyWhenTheRoutineCompletes)
{
    // mov eax,[esp+4]; mov dword [eax],-1; then ret, or int3
    TBytes code = {0x8B, 0x44, 0x24, 0x04, 0xC7, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xC3};
    uint8_t block[16];
    std::memcpy(block, kBlockBytes, sizeof(block));
    ASSERT_TRUE(RunOnBlock(code, block).IsOk());
    EXPECT_EQ(ReadU32LE(block), 0xFFFFFFFFu);
    EXPECT_EQ(0, std::memcmp(block + 4, kBlockBytes + 4, 12));

    code.back() = 0xCC;
    std::memcpy(block, kBlockBytes, sizeof(block));
    EXPECT_EQ(RunOnBlock(code, block).nFault, kKeyRoutineInterrupt);
    EXPECT_EQ(0, std::memcmp(block, kBlockBytes, sizeof(block)));
}

TEST(KeyRoutineModel, CodeIsReadableAndWritableInTheSandboxCopyOnly)
{
    // call next; pop eax; mov byte [eax+5],0xC3 (turns the int3 after it into ret); int3
    const TBytes code = {0xE8, 0, 0, 0, 0, 0x58, 0xC6, 0x40, 0x05, 0xC3, 0xCC};
    const TBytes original = code;
    uint8_t block[16] = {};
    const TKeyRoutineResult r = RunOnBlock(code, block);
    EXPECT_TRUE(r.IsOk()) << DescribeKeyRoutineResult(r);
    EXPECT_EQ(code, original);

    // moffs forms reach the block at its fixed address:
    // mov eax,[block]; mov [block+4],eax; ret
    const TBytes moffs = {0xA1, 0x00, 0x00, 0x30, 0x00, 0xA3, 0x04, 0x00, 0x30, 0x00, 0xC3};
    std::memcpy(block, kBlockBytes, sizeof(block));
    ASSERT_TRUE(RunOnBlock(moffs, block).IsOk());
    EXPECT_EQ(0, std::memcmp(block + 4, kBlockBytes, 4));
}

// Random bytes and damaged corpus routines: whatever happens ends in a
// result, within the budget, with the block untouched unless it completed.
TEST(KeyRoutineRobustness, RandomAndDamagedCodeNeverEscapes)
{
    CTestRng rng(0x726F627573746E65ull);
    const uint32_t budget = 20000;
    const CKeyRoutineSandbox sandbox(budget);
    std::vector<TBytes> codes;
    for (int i = 0; i < 1500; ++i) {
        TBytes code(1 + rng.Next() % 48);
        rng.Fill(code.data(), code.size());
        codes.push_back(code);
    }
    size_t count = 0;
    const TCorpusBlob* blobs = CorpusBlobs(&count);
    for (size_t i = 0; i < count; ++i) {
        for (int n = 0; n < 3; ++n) {
            TBytes code(blobs[i].pCode, blobs[i].pCode + blobs[i].nLen);
            for (uint64_t k = 1 + rng.Next() % 4; k > 0; --k) {
                code[rng.Next() % code.size()] = rng.Byte();
            }
            codes.push_back(code);
        }
    }
    size_t completed = 0;
    for (const TBytes& code : codes) {
        uint8_t block[16];
        uint8_t before[16];
        rng.Fill(block, sizeof(block));
        std::memcpy(before, block, sizeof(block));
        const TKeyRoutineResult r = sandbox.Run(code.data(), code.size(), block, rng.Byte());
        ASSERT_LE(r.nExecuted, budget);
        ASSERT_LE(r.nFault, kKeyRoutineBudget);
        if (r.IsOk()) {
            ++completed;
        } else {
            ASSERT_EQ(0, std::memcmp(block, before, sizeof(block))) << DescribeKeyRoutineResult(r);
            ASSERT_LT(r.nOffset, code.size());
        }
    }
    EXPECT_GT(completed, 0u);
}

}  // namespace
