// Moves between SIMD registers, general registers and memory, in the
// operand sizes and alignments the processor defines; results worked out
// from the instructions' definitions.

#include "qxnetengine/keyroutine/x86machine.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TBytes FromHex(const char* hex)
{
    TBytes out;
    for (const char* p = hex; p[0] != 0 && p[1] != 0; p += 2) {
        out.push_back(static_cast<uint8_t>(std::stoi(std::string(p, 2), nullptr, 16)));
    }
    return out;
}

struct TLaneCase {
    const char* name;
    const char* code;      // runs with ESI = data, XMM0 = data[0..15], ECX = 0x13121110
    const char* expected;  // data[32..47] afterwards
};

TEST(KeyRoutineSimd, LaneMovesAndMemoryOperands)
{
    const std::vector<TLaneCase> cases = {
        // movd xmm1,ecx; movdqu [esi+32],xmm1
        {"movd zero-extends", "660F6EC9F30F7F4E20", "10111213 00000000 00000000 00000000"},
        // pinsrb xmm0,[esi+16],15; pinsrw xmm0,ecx,5; pinsrd xmm0,ecx,0; movdqu [esi+32],xmm0
        {"pinsrb, pinsrw, pinsrd", "660F3A2046100F660FC4C105660F3A22C100F30F7F4620",
         "10111213 04050607 08091011 0C0D0E10"},
        // pextrb eax,xmm0,15; pextrw [esi+32],xmm0,5; pextrd [esi+36],xmm0,2;
        // mov [esi+40],eax; pextrw ebx,xmm0,7; mov [esi+44],ebx
        {"pextrb, pextrw, pextrd to registers and memory",
         "660F3A14C00F660F3A15462005660F3A16462402894628660FC5D807895E2C",
         "0A0B0000 08090A0B 0F000000 0E0F0000"},
        // the sign bits of 01 7F FF 80 0 .. 0 80: pmovmskb, movmskps, movmskpd
        {"sign masks",
         "C74630017FFF80C7463C00000080F30F6F4E30660FD7C10F50D9660F50D1894620895E24895628",
         "0C800000 09000000 02000000 00000000"},
        // ... and maskmovdqu xmm0 through that mask to [edi] = esi + 32
        {"maskmovdqu", "C74630017FFF80C7463C00000080F30F6F4E308D7E20660FF7C1",
         "00000203 00000000 00000000 0000000F"},
        // movq xmm1,[esi+8]; movhps xmm1,[esi+16]; movdqu [esi+32],xmm1
        {"movq and movhps from memory", "F30F7E4E080F164E10F30F7F4E20",
         "08090A0B 0C0D0E0F 10111213 14151617"},
        // movdqa and movaps through a 16-byte aligned stack slot
        {"aligned moves on the stack",
         "89E583EC2083E4F0660F7F0424660F6F14240F295424100F285C241089ECF30F7F5E20",
         "00010203 04050607 08090A0B 0C0D0E0F"},
        // movss xmm0,[esi+16]: the other lanes are zeroed
        {"movss from memory", "F30F104610F30F7F4620", "10111213 00000000 00000000 00000000"},
        // movq mm0,[esi+8]; movq2dq xmm3,mm0; emms; movdqu [esi+32],xmm3
        {"movq2dq", "0F6F4608F30FD6D80F77F30F7F5E20", "08090A0B 0C0D0E0F 00000000 00000000"},
        // movsldup xmm1,xmm0; movdqu [esi+32],xmm1
        {"movsldup", "F30F12C8F30F7F4E20", "00010203 00010203 08090A0B 08090A0B"},
        // movhps [esi+32],xmm0; movlps [esi+40],xmm0
        {"movhps and movlps to memory", "0F1746200F134628", "08090A0B 0C0D0E0F 00010203 04050607"},
        // movntdq [esi+32],xmm0; movnti [esi+36],ecx: ordinary stores here
        {"non-temporal stores", "660FE746200FC34E24", "00010203 10111213 08090A0B 0C0D0E0F"},
        // prefetcht0 [esi]; prefetchnta [esi+0x1000000] (unmapped: a hint
        // never faults); mfence; lfence; sfence; movdqu [esi+32],xmm0
        {"prefetches and fences do nothing", "0F180E0F1886000000010FAEF00FAEE80FAEF8F30F7F4620",
         "00010203 04050607 08090A0B 0C0D0E0F"},
        // movd mm1,ecx; pshufw mm1,mm1,0x1B; movq [esi+32],mm1; movd [esi+40],mm1;
        // pinsrw mm1,ecx,0; movq [esi+44],mm1 (its last 4 bytes lie past the slot)
        {"MMX movd, pshufw, pinsrw", "0F6EC90F70C91B0F7F4E200F7E4E280FC4C9000F7F4E2C",
         "00000000 12131011 00000000 10110000"},
    };
    for (const TLaneCase& c : cases) {
        SCOPED_TRACE(c.name);
        // mov esi,[esp+4]; movdqu xmm0,[esi]; mov ecx,[esi+16]; <code>; ret
        TBytes code = FromHex("8B742404F30F6F068B4E10");
        const TBytes body = FromHex(c.code);
        code.insert(code.end(), body.begin(), body.end());
        code.push_back(0xC3);
        uint8_t data[64] = {};
        for (uint8_t i = 0; i < 32; ++i) {
            data[i] = i;
        }
        CX86Machine machine(code.data(), static_cast<uint32_t>(code.size()), data, sizeof(data),
                            1000);
        const TKeyRoutineResult r = machine.Run(0);
        ASSERT_TRUE(r.IsOk()) << DescribeKeyRoutineResult(r);
        EXPECT_EQ(HexBytes(data + 32, 16), c.expected);
    }
}

}  // namespace
