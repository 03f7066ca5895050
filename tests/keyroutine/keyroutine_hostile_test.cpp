// Routines that try to leave the sandbox, or that cannot run, end with a
// fault that names the cause and the offset; the block is then unchanged.

#include "qxnetengine/keyroutine/keyroutine.h"
#include "qxnetengine/keyroutine/x86memory.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

const uint32_t kNoAddress = 0xFFFFFFFF;  // the case does not check the address

struct TFaultCase {
    const char* name;
    TBytes code;
    EKeyRoutineFault fault;
    uint32_t offset;
    uint32_t address;
};

void ExpectFaults(const std::vector<TFaultCase>& cases)
{
    for (const TFaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        uint8_t block[16];
        std::memcpy(block, kBlockBytes, sizeof(block));
        const TKeyRoutineResult r = RunOnBlock(c.code, block);
        EXPECT_EQ(r.nFault, c.fault) << DescribeKeyRoutineResult(r);
        EXPECT_EQ(r.nOffset, c.offset);
        if (c.address != kNoAddress) {
            EXPECT_EQ(r.nAddress, c.address);
        }
        EXPECT_EQ(0, std::memcmp(block, kBlockBytes, sizeof(block)));
    }
}

TEST(KeyRoutineHostile, MemoryOutsideTheSandboxIsRefused)
{
    ExpectFaults({
        // mov eax,[esp+4]; mov byte [eax+16],1; ret
        {"write past the key block",
         {0x8B, 0x44, 0x24, 0x04, 0xC6, 0x40, 0x10, 0x01, 0xC3},
         kKeyRoutineBadWrite,
         4,
         kBlock + 16},
        // mov eax,[esp+4]; mov dword [eax+14],0; ret
        {"dword across the end of the block",
         {0x8B, 0x44, 0x24, 0x04, 0xC7, 0x40, 0x0E, 0, 0, 0, 0, 0xC3},
         kKeyRoutineBadWrite,
         4,
         kBlock + 14},
        // mov eax,[esp+4]; mov [eax-1],al; ret
        {"write before the key block",
         {0x8B, 0x44, 0x24, 0x04, 0x88, 0x40, 0xFF, 0xC3},
         kKeyRoutineBadWrite,
         4,
         kBlock - 1},
        // mov eax,[0x7FFE0000]; ret
        {"read of an arbitrary address",
         {0xA1, 0x00, 0x00, 0xFE, 0x7F, 0xC3},
         kKeyRoutineBadRead,
         0,
         0x7FFE0000},
        // xor eax,eax; mov eax,[eax]; ret
        {"read through a null pointer", {0x31, 0xC0, 0x8B, 0x00, 0xC3}, kKeyRoutineBadRead, 2, 0},
        // mov eax,[esp+12]; ret
        {"read above the stack", {0x8B, 0x44, 0x24, 0x0C, 0xC3}, kKeyRoutineBadRead, 0, kStackTop},
        // call $ (endless recursion)
        {"stack overflow",
         {0xE8, 0xFB, 0xFF, 0xFF, 0xFF},
         kKeyRoutineBadWrite,
         0,
         CX86Memory::kStackBase - 4},
        // mov esi,esp; std; mov ecx,-1; rep lodsb
        {"rep lods running off the stack",
         {0x89, 0xE6, 0xFD, 0xB9, 0xFF, 0xFF, 0xFF, 0xFF, 0xF3, 0xAC},
         kKeyRoutineBadRead,
         8,
         CX86Memory::kStackBase - 1},
        // mov edi,[esp+4]; mov ecx,17; rep stosb
        {"rep stos past the block",
         {0x8B, 0x7C, 0x24, 0x04, 0xB9, 0x11, 0, 0, 0, 0xF3, 0xAA, 0xC3},
         kKeyRoutineBadWrite,
         9,
         kBlock + 16},
        // bts [esp+4] with a bit offset far beyond the operand: mov ecx,0x10000000; bts [esp],ecx
        {"bit offset reaching far away",
         {0xB9, 0x00, 0x00, 0x00, 0x10, 0x0F, 0xAB, 0x0C, 0x24, 0xC3},
         kKeyRoutineBadRead,
         5,
         kStackTop - 12 + 0x02000000},
    });
}

TEST(KeyRoutineHostile, ControlOutsideTheCodeIsRefused)
{
    ExpectFaults({
        // mov eax,0x12345678; jmp eax
        {"jump to an arbitrary address",
         {0xB8, 0x78, 0x56, 0x34, 0x12, 0xFF, 0xE0},
         kKeyRoutineLeftCode,
         5,
         0x12345678},
        // jmp esp
        {"jump into the stack", {0xFF, 0xE4}, kKeyRoutineLeftCode, 0, kStackTop - 12},
        // mov eax,[esp+4]; mov [esp],eax; ret
        {"return into the key block",
         {0x8B, 0x44, 0x24, 0x04, 0x89, 0x04, 0x24, 0xC3},
         kKeyRoutineLeftCode,
         7,
         kBlock},
        // call far pointer through memory: mov eax,[esp+4]; call [eax]
        {"call through a pointer read from the block",
         {0x8B, 0x44, 0x24, 0x04, 0xFF, 0x10},
         kKeyRoutineLeftCode,
         4,
         0x04030201},
        {"running off the end", {0x90}, kKeyRoutineLeftCode, 0, kCode + 1},
        // jmp short backwards out of the code
        {"jump before the code", {0xEB, 0x80}, kKeyRoutineLeftCode, 0, kCode + 2 - 128},
    });
}

TEST(KeyRoutineHostile, EndlessLoopsRunOutOfBudget)
{
    uint8_t block[16] = {};
    // jmp $
    TKeyRoutineResult r = RunOnBlock({0xEB, 0xFE}, block, 0, 5000);
    EXPECT_EQ(r.nFault, kKeyRoutineBudget);
    EXPECT_EQ(r.nOffset, 0u);
    EXPECT_EQ(r.nExecuted, 5000u);
    // xor ecx,ecx; loop $  (ECX wraps to 2^32 - 1)
    r = RunOnBlock({0x31, 0xC9, 0xE2, 0xFE}, block, 0, 5000);
    EXPECT_EQ(r.nFault, kKeyRoutineBudget);
    EXPECT_EQ(r.nOffset, 2u);
    // rep iterations count one by one: mov esi,esp; std; mov ecx,-1; rep lodsb reads
    // down the stack
    r = RunOnBlock({0x89, 0xE6, 0xFD, 0xB9, 0xFF, 0xFF, 0xFF, 0xFF, 0xF3, 0xAC}, block, 0, 5000);
    EXPECT_EQ(r.nFault, kKeyRoutineBudget);
    EXPECT_EQ(r.nOffset, 8u);
    EXPECT_EQ(r.nExecuted, 5000u);
    // the default budget: a few million instructions
    r = CKeyRoutineSandbox().Run(std::vector<uint8_t>{0xEB, 0xFE}.data(), 2, block, 0);
    EXPECT_EQ(r.nFault, kKeyRoutineBudget);
    EXPECT_EQ(r.nExecuted, CKeyRoutineSandbox::kDefaultBudget);
}

TEST(KeyRoutineHostile, InterruptsFarTransfersAndSystemInstructionsAreRefused)
{
    ExpectFaults({
        {"int 0x80", {0x90, 0xCD, 0x80}, kKeyRoutineInterrupt, 1, kNoAddress},
        {"int3", {0xCC}, kKeyRoutineInterrupt, 0, kNoAddress},
        {"into", {0xCE}, kKeyRoutineInterrupt, 0, kNoAddress},
        {"int1", {0xF1}, kKeyRoutineInterrupt, 0, kNoAddress},
        {"sysenter", {0x0F, 0x34}, kKeyRoutineInterrupt, 0, kNoAddress},
        {"syscall", {0x0F, 0x05}, kKeyRoutineInterrupt, 0, kNoAddress},
        {"far return", {0xCB}, kKeyRoutineFarTransfer, 0, kNoAddress},
        {"far return with pop", {0xCA, 0x08, 0x00}, kKeyRoutineFarTransfer, 0, kNoAddress},
        {"far call", {0x9A, 0, 0, 0, 0, 0x23, 0}, kKeyRoutineFarTransfer, 0, kNoAddress},
        {"far jump", {0xEA, 0, 0, 0, 0, 0x23, 0}, kKeyRoutineFarTransfer, 0, kNoAddress},
        {"far jump through memory", {0xFF, 0x2C, 0x24}, kKeyRoutineFarTransfer, 0, kNoAddress},
        {"far call through memory", {0xFF, 0x1C, 0x24}, kKeyRoutineFarTransfer, 0, kNoAddress},
        {"iret", {0xCF}, kKeyRoutineFarTransfer, 0, kNoAddress},
        {"hlt", {0xF4}, kKeyRoutinePrivileged, 0, kNoAddress},
        {"cli", {0xFA}, kKeyRoutinePrivileged, 0, kNoAddress},
        {"in al,dx", {0xEC}, kKeyRoutinePrivileged, 0, kNoAddress},
        {"out dx,al", {0xEE}, kKeyRoutinePrivileged, 0, kNoAddress},
        {"insb", {0x6C}, kKeyRoutinePrivileged, 0, kNoAddress},
        {"mov eax,cr0", {0x0F, 0x20, 0xC0}, kKeyRoutinePrivileged, 0, kNoAddress},
        {"rdmsr", {0x0F, 0x32}, kKeyRoutinePrivileged, 0, kNoAddress},
        {"lgdt", {0x0F, 0x01, 0x10}, kKeyRoutinePrivileged, 0, kNoAddress},
    });
}

TEST(KeyRoutineHostile, SegmentsOtherThanTheDefaultAreRefused)
{
    ExpectFaults({
        {"fs: read", {0x64, 0xA1, 0, 0, 0, 0}, kKeyRoutineSegment, 0, kNoAddress},
        {"gs: read", {0x65, 0x8B, 0x00}, kKeyRoutineSegment, 0, kNoAddress},
        {"es: on memory", {0x26, 0x8B, 0x00}, kKeyRoutineSegment, 0, kNoAddress},
        {"cs: on memory", {0x2E, 0x8B, 0x00}, kKeyRoutineSegment, 0, kNoAddress},
        {"ss: where ds is the default", {0x36, 0x8B, 0x00}, kKeyRoutineSegment, 0, kNoAddress},
        {"ds: where ss is the default",
         {0x3E, 0x8B, 0x04, 0x24},
         kKeyRoutineSegment,
         0,
         kNoAddress},
        {"es: on a string source", {0x26, 0xAC}, kKeyRoutineSegment, 0, kNoAddress},
        {"push fs", {0x0F, 0xA0}, kKeyRoutineSegment, 0, kNoAddress},
        {"push es", {0x06}, kKeyRoutineSegment, 0, kNoAddress},
        {"mov ds,ax", {0x8E, 0xD8}, kKeyRoutineSegment, 0, kNoAddress},
        {"mov ax,ss", {0x8C, 0xD0}, kKeyRoutineSegment, 0, kNoAddress},
        {"lds", {0xC5, 0x00}, kKeyRoutineSegment, 0, kNoAddress},
    });
    // The default segment written out is accepted, and so is any prefix on
    // an instruction that does not touch memory (lea, nop, branch hints).
    const std::vector<TBytes> accepted = {
        {0x8B, 0x44, 0x24, 0x04, 0x3E, 0x8B, 0x00, 0xC3},  // ds: mov eax,[eax]
        {0x36, 0x8B, 0x04, 0x24, 0xC3},                    // ss: mov eax,[esp]
        {0x36, 0x8B, 0x45, 0x00, 0x90, 0xC3},              // ss: [ebp+0] (EBP = 0 is unmapped)
        {0x64, 0x8D, 0x00, 0x2E, 0x0F, 0x1F, 0x00, 0x3E, 0x74, 0x00, 0xC3},
    };
    for (size_t i = 0; i < accepted.size(); ++i) {
        SCOPED_TRACE(i);
        uint8_t block[16] = {};
        const TKeyRoutineResult r = RunOnBlock(accepted[i], block);
        EXPECT_NE(r.nFault, kKeyRoutineSegment) << DescribeKeyRoutineResult(r);
    }
}

TEST(KeyRoutineHostile, DivisionFaultsAreContained)
{
    ExpectFaults({
        // xor ecx,ecx; div ecx
        {"division by zero", {0x31, 0xC9, 0xF7, 0xF1}, kKeyRoutineDivide, 2, kNoAddress},
        // xor cl,cl; idiv cl
        {"8-bit division by zero", {0x30, 0xC9, 0xF6, 0xF9}, kKeyRoutineDivide, 2, kNoAddress},
        // mov eax,0x80000000; cdq; mov ecx,-1; idiv ecx
        {"INT_MIN / -1",
         {0xB8, 0, 0, 0, 0x80, 0x99, 0xB9, 0xFF, 0xFF, 0xFF, 0xFF, 0xF7, 0xF9},
         kKeyRoutineDivide,
         11,
         kNoAddress},
        // mov edx,1; xor eax,eax; mov ecx,1; div ecx
        {"quotient above 32 bits",
         {0xBA, 1, 0, 0, 0, 0x31, 0xC0, 0xB9, 1, 0, 0, 0, 0xF7, 0xF1},
         kKeyRoutineDivide,
         12,
         kNoAddress},
        // mov ax,0x4000; mov cl,0x7F; idiv cl  (quotient 129)
        {"8-bit signed quotient above 127",
         {0x66, 0xB8, 0x00, 0x40, 0xB1, 0x7F, 0xF6, 0xF9},
         kKeyRoutineDivide,
         6,
         kNoAddress},
        // xor edx,edx; div word [esp+4]: the low half of the block address, 0
        {"16-bit division by zero from memory",
         {0x31, 0xD2, 0x66, 0xF7, 0x74, 0x24, 0x04},
         kKeyRoutineDivide,
         2,
         kNoAddress},
    });
}

TEST(KeyRoutineHostile, InstructionsOutsideTheSetAreRefused)
{
    ExpectFaults({
        {"x87", {0xD9, 0xE8}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"fwait", {0x9B}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"SSE floating-point arithmetic",
         {0x0F, 0x58, 0xC0},
         kKeyRoutineUnsupported,
         0,
         kNoAddress},
        {"SSE2 conversion", {0xF3, 0x0F, 0xE6, 0xC0}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"SSE4.2 string compare",
         {0x66, 0x0F, 0x3A, 0x63, 0xC1, 0x00},
         kKeyRoutineUnsupported,
         0,
         kNoAddress},
        {"SSE4.2 pcmpgtq", {0x66, 0x0F, 0x38, 0x37, 0xC1}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"crc32", {0xF2, 0x0F, 0x38, 0xF1, 0xC1}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"MMX form of an XMM-only op", {0x0F, 0x6C, 0xC1}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"F3 prefix on pxor", {0xF3, 0x0F, 0xEF, 0xC1}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"psraq", {0x66, 0x0F, 0x73, 0xE0, 0x01}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"pmovmskb from memory", {0x66, 0x0F, 0xD7, 0x00}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"movlpd between registers",
         {0x66, 0x0F, 0x12, 0xC1},
         kKeyRoutineUnsupported,
         0,
         kNoAddress},
        {"ldmxcsr", {0x0F, 0xAE, 0x10}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"fxsave", {0x0F, 0xAE, 0x00}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"lock on a register", {0xF0, 0x01, 0xC0}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"lock on a plain load", {0xF0, 0x8B, 0x00}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"lock on cmp", {0xF0, 0x39, 0x00}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"lock on SSE", {0xF0, 0x66, 0x0F, 0xEF, 0x00}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"cmpxchg8b of a register", {0x0F, 0xC7, 0xC8}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"16-bit addressing", {0x67, 0x8B, 0x00}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"ud2", {0x0F, 0x0B}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"daa", {0x27}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"aam", {0xD4, 0x0A}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"bound", {0x62, 0x00}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"lzcnt", {0xF3, 0x0F, 0xBD, 0xC0}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"popcnt", {0xF3, 0x0F, 0xB8, 0xC0}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"16-bit bswap", {0x66, 0x0F, 0xC8}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"16-bit jump", {0x66, 0xEB, 0x00}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"16-bit return", {0x66, 0xC3}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"16-bit leave", {0x66, 0xC9}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"lea of a register", {0x8D, 0xC0}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"C6 /1", {0xC6, 0xC8, 0x00}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"FE /2", {0xFE, 0xD0}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"FF /7", {0xFF, 0xF8}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"F6 /1", {0xF6, 0xC8, 0x00}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"0F BA /0", {0x0F, 0xBA, 0xC0, 0x05}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"8F /1", {0x8F, 0xC8}, kKeyRoutineUnsupported, 0, kNoAddress},
        {"fifteen prefixes", TBytes(15, 0x66), kKeyRoutineUnsupported, 0, kNoAddress},
    });
    // 15 bytes is still an instruction: 14 ds: prefixes and ret.
    TBytes longest(14, 0x3E);
    longest.push_back(0xC3);
    uint8_t block[16] = {};
    EXPECT_TRUE(RunOnBlock(longest, block).IsOk());
    longest.insert(longest.begin(), 0x3E);
    EXPECT_EQ(RunOnBlock(longest, block).nFault, kKeyRoutineUnsupported);
}

// AVX is beyond the emulated processor, and what reads the time or a
// hardware random source would make the key differ from the server's.
TEST(KeyRoutineHostile, AvxAndMachineInputsAreRefusedWithTheirReason)
{
    ExpectFaults({
        {"vpxor (two-byte VEX)", {0xC5, 0xF9, 0xEF, 0xC0}, kKeyRoutineAvx, 0, kNoAddress},
        {"vpshufb (three-byte VEX)",
         {0x90, 0xC4, 0xE2, 0x79, 0x00, 0xC1},
         kKeyRoutineAvx,
         1,
         kNoAddress},
        {"EVEX", {0x62, 0xF1, 0x7D, 0x48, 0xEF, 0xC0}, kKeyRoutineAvx, 0, kNoAddress},
        {"rdtsc", {0x0F, 0x31}, kKeyRoutineMachineInput, 0, kNoAddress},
        {"rdtscp", {0x0F, 0x01, 0xF9}, kKeyRoutineMachineInput, 0, kNoAddress},
        {"rdpmc", {0x0F, 0x33}, kKeyRoutineMachineInput, 0, kNoAddress},
        {"rdrand", {0x0F, 0xC7, 0xF0}, kKeyRoutineMachineInput, 0, kNoAddress},
        {"rdseed", {0x0F, 0xC7, 0xF8}, kKeyRoutineMachineInput, 0, kNoAddress},
    });
    // In 32-bit code C4 and C5 with a memory ModRM are still les and lds.
    ExpectFaults({{"les", {0xC4, 0x00}, kKeyRoutineSegment, 0, kNoAddress}});
    TKeyRoutineResult r = {kKeyRoutineAvx, 2, 0, 1};
    EXPECT_EQ(DescribeKeyRoutineResult(r),
              "AVX instruction, not on the emulated processor (code offset 0x2)");
}

// A 16-byte SSE operand must be aligned unless the instruction says
// otherwise (movdqu, movups, lddqu) or reads less (movq, movss, pmovzx).
TEST(KeyRoutineHostile, MisalignedSseOperandsFault)
{
    // mov eax,[esp+4] (the block, 16-byte aligned), then the access
    const TBytes load = {0x8B, 0x44, 0x24, 0x04};
    auto at = [&](TBytes insn) {
        TBytes code = load;
        code.insert(code.end(), insn.begin(), insn.end());
        code.push_back(0xC3);
        return code;
    };
    ExpectFaults({
        {"movdqa load", at({0x66, 0x0F, 0x6F, 0x40, 0x01}), kKeyRoutineMisaligned, 4, kBlock + 1},
        {"movaps store", at({0x0F, 0x29, 0x40, 0x08}), kKeyRoutineMisaligned, 4, kBlock + 8},
        {"pxor from memory", at({0x66, 0x0F, 0xEF, 0x40, 0x04}), kKeyRoutineMisaligned, 4,
         kBlock + 4},
        {"pshufb from memory", at({0x66, 0x0F, 0x38, 0x00, 0x40, 0x02}), kKeyRoutineMisaligned, 4,
         kBlock + 2},
        // misaligned and outside the sandbox: alignment is checked first
        {"movdqa far away",
         {0x66, 0x0F, 0x6F, 0x05, 0x04, 0, 0, 0x70},
         kKeyRoutineMisaligned,
         0,
         0x70000004},
        {"movdqu past the block", at({0xF3, 0x0F, 0x6F, 0x40, 0x01}), kKeyRoutineBadRead, 4,
         kBlock + 1},
        {"movups store past the block", at({0x0F, 0x11, 0x40, 0x08}), kKeyRoutineBadWrite, 4,
         kBlock + 8},
    });
    const std::vector<TBytes> accepted = {
        at({0x66, 0x0F, 0x6F, 0x00}),              // movdqa xmm0,[eax]
        at({0x66, 0x0F, 0x7F, 0x00}),              // movdqa [eax],xmm0
        at({0xF3, 0x0F, 0x7E, 0x40, 0x03}),        // movq xmm0,[eax+3]
        at({0x0F, 0x6F, 0x40, 0x05}),              // movq mm0,[eax+5]
        at({0xF3, 0x0F, 0x10, 0x40, 0x0B}),        // movss xmm0,[eax+11]
        at({0x66, 0x0F, 0x38, 0x30, 0x40, 0x07}),  // pmovzxbw xmm0,[eax+7]
        at({0x0F, 0xEF, 0x40, 0x03}),              // pxor mm0,[eax+3]
        at({0xF2, 0x0F, 0xF0, 0x00}),              // lddqu xmm0,[eax]
    };
    for (size_t i = 0; i < accepted.size(); ++i) {
        SCOPED_TRACE(i);
        uint8_t block[16] = {};
        const TKeyRoutineResult r = RunOnBlock(accepted[i], block);
        EXPECT_TRUE(r.IsOk()) << DescribeKeyRoutineResult(r);
    }
}

TEST(KeyRoutineHostile, CodeCutOffOrMissingIsRefused)
{
    ExpectFaults({
        {"immediate cut off", {0xB8, 0x01, 0x02}, kKeyRoutineTruncated, 0, kNoAddress},
        {"after a whole instruction", {0x90, 0xB8, 0x01}, kKeyRoutineTruncated, 1, kNoAddress},
        {"escape byte alone", {0x0F}, kKeyRoutineTruncated, 0, kNoAddress},
        {"ModRM missing", {0x8B}, kKeyRoutineTruncated, 0, kNoAddress},
        {"SIB present, displacement cut",
         {0x8B, 0x84, 0x24, 0x10},
         kKeyRoutineTruncated,
         0,
         kNoAddress},
        {"prefix alone", {0x66}, kKeyRoutineTruncated, 0, kNoAddress},
        {"enter cut off", {0xC8, 0x10, 0x00}, kKeyRoutineTruncated, 0, kNoAddress},
        {"near jcc cut off", {0x0F, 0x84, 0x00, 0x00}, kKeyRoutineTruncated, 0, kNoAddress},
    });
    uint8_t block[16] = {};
    EXPECT_EQ(RunOnBlock({}, block).nFault, kKeyRoutineNoCode);
    EXPECT_EQ(CKeyRoutineSandbox().Run(nullptr, 4, block, 0).nFault, kKeyRoutineNoCode);
}

TEST(KeyRoutineHostile, FaultsAreDescribedWithCauseAndOffset)
{
    TKeyRoutineResult r = {kKeyRoutineBadWrite, 4, kBlock + 16, 2};
    EXPECT_EQ(DescribeKeyRoutineResult(r),
              "write outside the sandbox at 0x00300010 (code offset 0x4)");
    r = {kKeyRoutineInterrupt, 0x1A, 0, 7};
    EXPECT_EQ(DescribeKeyRoutineResult(r), "interrupt or system call (code offset 0x1A)");
    r = {kKeyRoutineDivide, 3, 0, 7};
    EXPECT_EQ(DescribeKeyRoutineResult(r), "division by zero or overflow (code offset 0x3)");
}

}  // namespace
