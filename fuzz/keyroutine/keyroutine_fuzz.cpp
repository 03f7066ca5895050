// The key-routine sandbox on arbitrary code bytes: it must always end, with
// the block or with a reason. The input is the parameter byte, the entry and
// block offsets for a run inside the message, then the code. Both ways of
// running are tried, each twice: the same bytes must end the same way.
#include "qxnetengine/keyroutine/keyroutine.h"
#include "support/fuzzcheck.h"

#include <cstring>

namespace {

// Far below the engine's budget, yet several times what the routines of the
// tests need: a routine that loops ends sooner, and the fuzzer moves on. The
// budget's own ending is the same at any size.
const uint32_t kBudget = 20000;

bool Same(const TKeyRoutineResult& a, const TKeyRoutineResult& b)
{
    return a.nFault == b.nFault && a.nOffset == b.nOffset && a.nAddress == b.nAddress &&
           a.nExecuted == b.nExecuted;
}

void CheckEnded(const TKeyRoutineResult& r)
{
    FUZZ_CHECK(r.nFault >= kKeyRoutineOk && r.nFault <= kKeyRoutineBudget);
    FUZZ_CHECK(r.nExecuted <= kBudget);
    FUZZ_CHECK(!DescribeKeyRoutineResult(r).empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const unsigned char param = data[0];
    const uint8_t* code = data + 3;
    const size_t codeLen = size - 3;
    CKeyRoutineSandbox sandbox(kBudget);

    unsigned char start[16], block1[16], block2[16];
    for (int i = 0; i < 16; ++i) start[i] = static_cast<unsigned char>(0x11 * i);
    memcpy(block1, start, 16);
    memcpy(block2, start, 16);
    TKeyRoutineResult r1 = sandbox.Run(code, codeLen, block1, param);
    TKeyRoutineResult r2 = sandbox.Run(code, codeLen, block2, param);
    CheckEnded(r1);
    FUZZ_CHECK(Same(r1, r2) && memcmp(block1, block2, 16) == 0);
    // A routine that does not complete leaves the block alone.
    if (!r1.IsOk())
        FUZZ_CHECK(memcmp(block1, start, 16) == 0);

    // The whole input as the message, entered and given the block where
    // its offset bytes say.
    const size_t entry = data[1] % size;
    const size_t blockAt = data[2] % (size + 1);
    memcpy(block1, start, 16);
    memcpy(block2, start, 16);
    r1 = sandbox.RunInMessage(data, size, entry, blockAt, param, block1);
    r2 = sandbox.RunInMessage(data, size, entry, blockAt, param, block2);
    CheckEnded(r1);
    FUZZ_CHECK(Same(r1, r2) && memcmp(block1, block2, 16) == 0);
    if (!r1.IsOk())
        FUZZ_CHECK(memcmp(block1, start, 16) == 0);
    return 0;
}
