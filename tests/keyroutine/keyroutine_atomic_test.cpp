// cmpxchg, cmpxchg8b, xadd and lock-prefixed read-modify-writes, with the
// results worked out from the instructions' definitions; and cpuid's
// answer, which decides the path a dispatching routine takes.

#include "qxnetengine/keyroutine/x86machine.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct TRegs {
    uint32_t eax, ecx, edx, ebx;
    uint64_t mem;  // the qword at data + 16
};

struct TAtomicCase {
    const char* name;
    TBytes insn;
    TRegs in;
    TRegs out;
    uint32_t flags;  // CF PF AF ZF SF OF after the instruction
};

// Loads EAX, ECX, EDX, EBX from the data area, runs the instruction with
// ESI at the data, and stores the registers and the status flags.
TRegs RunCase(const TAtomicCase& c, uint32_t* flags)
{
    TBytes code = {0x8B, 0x74, 0x24, 0x04, 0x8B, 0x06, 0x8B, 0x4E,
                   0x04, 0x8B, 0x56, 0x08, 0x8B, 0x5E, 0x0C};
    code.insert(code.end(), c.insn.begin(), c.insn.end());
    code.insert(code.end(),
                {0x9C, 0x5F, 0x89, 0x46, 0x20, 0x89, 0x4E, 0x24, 0x89, 0x56, 0x28, 0x89,
                 0x5E, 0x2C, 0x81, 0xE7, 0xD5, 0x08, 0x00, 0x00, 0x89, 0x7E, 0x30, 0xC3});
    uint8_t data[64] = {};
    WriteU32LE(data, c.in.eax);
    WriteU32LE(data + 4, c.in.ecx);
    WriteU32LE(data + 8, c.in.edx);
    WriteU32LE(data + 12, c.in.ebx);
    WriteU32LE(data + 16, static_cast<uint32_t>(c.in.mem));
    WriteU32LE(data + 20, static_cast<uint32_t>(c.in.mem >> 32));
    CX86Machine machine(code.data(), static_cast<uint32_t>(code.size()), data, sizeof(data), 1000);
    const TKeyRoutineResult r = machine.Run(0);
    EXPECT_TRUE(r.IsOk()) << DescribeKeyRoutineResult(r);
    *flags = ReadU32LE(data + 48);
    return {ReadU32LE(data + 32), ReadU32LE(data + 36), ReadU32LE(data + 40), ReadU32LE(data + 44),
            ReadU32LE(data + 16) | (static_cast<uint64_t>(ReadU32LE(data + 20)) << 32)};
}

TEST(KeyRoutineAtomic, ExchangeInstructionsFollowTheirDefinitions)
{
    const uint32_t CF = 0x01, PF = 0x04, AF = 0x10, ZF = 0x40, SF = 0x80, OF = 0x800;
    const TBytes cmpxchgMem = {0x0F, 0xB1, 0x4E, 0x10};  // cmpxchg [esi+16],ecx
    const TBytes xaddMem = {0x0F, 0xC1, 0x4E, 0x10};     // xadd [esi+16],ecx
    const std::vector<TAtomicCase> cases = {
        {"cmpxchg, equal: the source is stored",
         cmpxchgMem,
         {5, 9, 0, 0, 5},
         {5, 9, 0, 0, 9},
         ZF | PF},
        // The flags are those of cmp eax,[mem]: 5 - 7.
        {"cmpxchg, different: the accumulator takes the memory",
         cmpxchgMem,
         {5, 9, 0, 0, 7},
         {7, 9, 0, 0, 7},
         CF | AF | SF},
        {"lock cmpxchg", {0xF0, 0x0F, 0xB1, 0x4E, 0x10}, {5, 9, 0, 0, 5}, {5, 9, 0, 0, 9}, ZF | PF},
        {"cmpxchg cl,dl, equal",
         {0x0F, 0xB0, 0xD1},
         {0x12345642, 0xAAAAAA42, 0x99, 0, 0},
         {0x12345642, 0xAAAAAA99, 0x99, 0, 0},
         ZF | PF},
        {"cmpxchg cl,dl, different",
         {0x0F, 0xB0, 0xD1},
         {0x12345642, 0xAAAAAA40, 0x99, 0, 0},
         {0x12345640, 0xAAAAAA40, 0x99, 0, 0},
         0},
        {"xadd to memory, wrapping to zero",
         xaddMem,
         {0, 1, 0, 0, 0xFFFFFFFF},
         {0, 0xFFFFFFFF, 0, 0, 0},
         CF | PF | AF | ZF},
        {"lock xadd",
         {0xF0, 0x0F, 0xC1, 0x4E, 0x10},
         {0, 1, 0, 0, 0xFFFFFFFF},
         {0, 0xFFFFFFFF, 0, 0, 0},
         CF | PF | AF | ZF},
        // One register as both operands ends with the sum.
        {"xadd eax,eax", {0x0F, 0xC1, 0xC0}, {3, 0, 0, 0, 0}, {6, 0, 0, 0, 0}, PF},
        {"xadd cx,dx: 16 bits, signed overflow",
         {0x66, 0x0F, 0xC1, 0xD1},
         {0, 0xAAAA7FFF, 0xBBBB0001, 0, 0},
         {0, 0xAAAA8000, 0xBBBB7FFF, 0, 0},
         OF | SF | AF | PF},
        // cmpxchg8b changes ZF only: stc before it shows CF kept.
        {"cmpxchg8b, equal: ECX:EBX is stored",
         {0xF9, 0x0F, 0xC7, 0x4E, 0x10},
         {0x22222222, 0xAAAAAAAA, 0x11111111, 0xBBBBBBBB, 0x1111111122222222ull},
         {0x22222222, 0xAAAAAAAA, 0x11111111, 0xBBBBBBBB, 0xAAAAAAAABBBBBBBBull},
         CF | ZF},
        {"lock cmpxchg8b, different: EDX:EAX takes the memory",
         {0xF9, 0xF0, 0x0F, 0xC7, 0x4E, 0x10},
         {0x22222222, 0xAAAAAAAA, 0x11111112, 0xBBBBBBBB, 0x1111111122222222ull},
         {0x22222222, 0xAAAAAAAA, 0x11111111, 0xBBBBBBBB, 0x1111111122222222ull},
         CF},
        {"lock add",
         {0xF0, 0x01, 0x4E, 0x10},
         {0, 0x10, 0, 0, 0x7FFFFFF0},
         {0, 0x10, 0, 0, 0x80000000},
         OF | SF | PF},
        {"lock inc byte",
         {0xF0, 0xFE, 0x46, 0x11},
         {0, 0, 0, 0, 0xFF00},
         {0, 0, 0, 0, 0},
         ZF | PF | AF},
        {"lock not",
         {0xF0, 0xF7, 0x56, 0x10},
         {0, 0, 0, 0, 0x0F0F0F0F},
         {0, 0, 0, 0, 0xF0F0F0F0},
         0},
        {"lock bts",
         {0xF0, 0x0F, 0xBA, 0x6E, 0x10, 0x07},
         {0, 0, 0, 0, 0x80},
         {0, 0, 0, 0, 0x80},
         CF},
    };
    for (const TAtomicCase& c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t flags = 0;
        const TRegs r = RunCase(c, &flags);
        EXPECT_EQ(r.eax, c.out.eax);
        EXPECT_EQ(r.ecx, c.out.ecx);
        EXPECT_EQ(r.edx, c.out.edx);
        EXPECT_EQ(r.ebx, c.out.ebx);
        EXPECT_EQ(r.mem, c.out.mem);
        EXPECT_EQ(flags, c.flags);
    }
}

// A routine that picks its path by cpuid finds SSE2 through SSE4.1 and
// nothing the sandbox would refuse.
TEST(KeyRoutineAtomic, CpuidDescribesTheEmulatedProcessor)
{
    const TBytes cpuid = {0x0F, 0xA2};
    uint32_t flags = 0;
    TRegs r = RunCase({"leaf 0", cpuid, {0, 0, 0, 0, 0}, {}, 0}, &flags);
    EXPECT_GE(r.eax, 1u);
    char vendor[13] = {};
    WriteU32LE(reinterpret_cast<uint8_t*>(vendor), r.ebx);
    WriteU32LE(reinterpret_cast<uint8_t*>(vendor) + 4, r.edx);
    WriteU32LE(reinterpret_cast<uint8_t*>(vendor) + 8, r.ecx);
    EXPECT_STREQ(vendor, "GenuineIntel");

    r = RunCase({"leaf 1", cpuid, {1, 0, 0, 0, 0}, {}, 0}, &flags);
    struct TFeature {
        const char* name;
        uint32_t reg;
        unsigned bit;
        bool present;
    };
    const TFeature features[] = {
        {"cx8", r.edx, 8, true},     {"cmov", r.edx, 15, true},    {"mmx", r.edx, 23, true},
        {"sse", r.edx, 25, true},    {"sse2", r.edx, 26, true},    {"sse3", r.ecx, 0, true},
        {"ssse3", r.ecx, 9, true},   {"sse4.1", r.ecx, 19, true},  {"tsc", r.edx, 4, false},
        {"fxsr", r.edx, 24, false},  {"sse4.2", r.ecx, 20, false}, {"popcnt", r.ecx, 23, false},
        {"movbe", r.ecx, 22, false}, {"avx", r.ecx, 28, false},    {"rdrand", r.ecx, 30, false},
        {"xsave", r.ecx, 26, false}, {"cx16", r.ecx, 13, false},   {"aes", r.ecx, 25, false},
    };
    for (const TFeature& f : features) {
        EXPECT_EQ(((f.reg >> f.bit) & 1) != 0, f.present) << f.name;
    }
    // Leaf 7 (AVX2, BMI) and the extended leaves report nothing.
    r = RunCase({"leaf 7", cpuid, {7, 0, 0, 0, 0}, {}, 0}, &flags);
    EXPECT_EQ(r.eax | r.ebx | r.ecx | r.edx, 0u);
    r = RunCase({"leaf 0x80000001", cpuid, {0x80000001, 0, 0, 0, 0}, {}, 0}, &flags);
    EXPECT_EQ(r.eax | r.ebx | r.ecx | r.edx, 0u);
}

}  // namespace
