// Each SIMD instruction of the sandbox against the processor running this
// test: the instruction runs in the sandbox on XMM2 (destination), XMM1
// (source) and XMM0 (the blend mask), and the same operation runs here
// through the compiler's intrinsics, on edge and random inputs.

#include "qxnetengine/keyroutine/x86machine.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#if defined(__SSE4_1__)
#include <smmintrin.h>
#include <tmmintrin.h>

namespace {

typedef __m128i (*TOracle)(__m128i a, __m128i b, __m128i mask);

struct TSimdCase {
    const char* name;
    TBytes insn;  // ModRM 0xD1: reg XMM2 (or MM2), r/m XMM1 (or MM1)
    TOracle oracle;
    bool mmx;         // operands in MM2/MM1; the oracle sees them in the low halves
    bool smallCount;  // the source's low qword is a shift count below 70
};

const size_t kInputs = 300;

// The data area: a at 0, b at 16, the mask at 48; the result is stored at 32.
TBytes Harness(const TSimdCase& c)
{
    TBytes code = {0x8B, 0x44, 0x24, 0x04};  // mov eax,[esp+4]
    if (c.mmx) {
        code.insert(code.end(), {0x0F, 0x6F, 0x10, 0x0F, 0x6F, 0x48, 0x10});  // movq mm2/mm1
    } else {
        code.insert(code.end(), {0xF3, 0x0F, 0x6F, 0x10, 0xF3, 0x0F, 0x6F, 0x48, 0x10, 0xF3, 0x0F,
                                 0x6F, 0x40, 0x30});  // movdqu xmm2/xmm1/xmm0
    }
    code.insert(code.end(), c.insn.begin(), c.insn.end());
    if (c.mmx) {
        code.insert(code.end(), {0x0F, 0x7F, 0x50, 0x20});  // movq [eax+32],mm2
    } else {
        code.insert(code.end(), {0xF3, 0x0F, 0x7F, 0x50, 0x20});  // movdqu [eax+32],xmm2
    }
    code.push_back(0xC3);
    return code;
}

// Bytes that sit on saturation and sign edges, mixed with random ones.
void FillInput(CTestRng* rng, size_t trial, uint8_t* p)
{
    static const uint8_t kEdges[] = {0x00, 0x01, 0x7F, 0x80, 0x81, 0xFE, 0xFF};
    for (size_t i = 0; i < 16; ++i) {
        const uint64_t r = rng->Next();
        if (trial < 7) {
            p[i] = kEdges[trial];
        } else if (trial % 2 == 0) {
            p[i] = kEdges[r % sizeof(kEdges)];
        } else {
            p[i] = static_cast<uint8_t>(r >> 8);
        }
    }
}

__m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

void ExpectMatchesProcessor(const TSimdCase& c)
{
    SCOPED_TRACE(c.name);
    const TBytes code = Harness(c);
    CTestRng rng(0x53494D44);
    for (size_t trial = 0; trial < kInputs; ++trial) {
        uint8_t data[64] = {};
        FillInput(&rng, trial, data);
        FillInput(&rng, trial / 7 + trial % 7, data + 16);
        FillInput(&rng, trial + 3, data + 48);
        if (c.smallCount) {
            std::memset(data + 16, 0, 8);
            data[16] = static_cast<uint8_t>(rng.Next() % 70);
        }
        if (c.mmx) {
            std::memset(data + 8, 0, 8);
            std::memset(data + 24, 0, 8);
        }
        uint8_t expected[16];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(expected),
                         c.oracle(Load(data), Load(data + 16), Load(data + 48)));
        CX86Machine machine(code.data(), static_cast<uint32_t>(code.size()), data, sizeof(data),
                            1000);
        const TKeyRoutineResult r = machine.Run(0);
        ASSERT_TRUE(r.IsOk()) << DescribeKeyRoutineResult(r);
        const size_t n = c.mmx ? 8 : 16;
        ASSERT_EQ(HexBytes(expected, n), HexBytes(data + 32, n))
            << "a " << HexBytes(data, n) << "\nb " << HexBytes(data + 16, n) << "\nmask "
            << HexBytes(data + 48, 16);
    }
}

#define OP2(f) [](__m128i a, __m128i b, __m128i) { return f(a, b); }
#define OP1(f) [](__m128i, __m128i b, __m128i) { return f(b); }
#define OPI(f, imm) [](__m128i a, __m128i b, __m128i) { return f(a, b, imm); }
#define OP1I(f, imm) [](__m128i, __m128i b, __m128i) { return f(b, imm); }
#define SHIFTI(f, imm) [](__m128i a, __m128i, __m128i) { return f(a, imm); }

TBytes Sse2(uint8_t op) { return {0x66, 0x0F, op, 0xD1}; }
TBytes Ssse3(uint8_t op) { return {0x66, 0x0F, 0x38, op, 0xD1}; }
TBytes Sse41(uint8_t op) { return {0x66, 0x0F, 0x38, op, 0xD1}; }
TBytes Sse41I(uint8_t op, uint8_t imm) { return {0x66, 0x0F, 0x3A, op, 0xD1, imm}; }

TEST(KeyRoutineSimd, PackedArithmeticMatchesTheProcessor)
{
    const std::vector<TSimdCase> cases = {
        {"paddb", Sse2(0xFC), OP2(_mm_add_epi8), false, false},
        {"paddw", Sse2(0xFD), OP2(_mm_add_epi16), false, false},
        {"paddd", Sse2(0xFE), OP2(_mm_add_epi32), false, false},
        {"paddq", Sse2(0xD4), OP2(_mm_add_epi64), false, false},
        {"psubb", Sse2(0xF8), OP2(_mm_sub_epi8), false, false},
        {"psubw", Sse2(0xF9), OP2(_mm_sub_epi16), false, false},
        {"psubd", Sse2(0xFA), OP2(_mm_sub_epi32), false, false},
        {"psubq", Sse2(0xFB), OP2(_mm_sub_epi64), false, false},
        {"paddsb", Sse2(0xEC), OP2(_mm_adds_epi8), false, false},
        {"paddsw", Sse2(0xED), OP2(_mm_adds_epi16), false, false},
        {"psubsb", Sse2(0xE8), OP2(_mm_subs_epi8), false, false},
        {"psubsw", Sse2(0xE9), OP2(_mm_subs_epi16), false, false},
        {"paddusb", Sse2(0xDC), OP2(_mm_adds_epu8), false, false},
        {"paddusw", Sse2(0xDD), OP2(_mm_adds_epu16), false, false},
        {"psubusb", Sse2(0xD8), OP2(_mm_subs_epu8), false, false},
        {"psubusw", Sse2(0xD9), OP2(_mm_subs_epu16), false, false},
        {"pcmpeqb", Sse2(0x74), OP2(_mm_cmpeq_epi8), false, false},
        {"pcmpeqw", Sse2(0x75), OP2(_mm_cmpeq_epi16), false, false},
        {"pcmpeqd", Sse2(0x76), OP2(_mm_cmpeq_epi32), false, false},
        {"pcmpeqq", Sse41(0x29), OP2(_mm_cmpeq_epi64), false, false},
        {"pcmpgtb", Sse2(0x64), OP2(_mm_cmpgt_epi8), false, false},
        {"pcmpgtw", Sse2(0x65), OP2(_mm_cmpgt_epi16), false, false},
        {"pcmpgtd", Sse2(0x66), OP2(_mm_cmpgt_epi32), false, false},
        {"pminub", Sse2(0xDA), OP2(_mm_min_epu8), false, false},
        {"pmaxub", Sse2(0xDE), OP2(_mm_max_epu8), false, false},
        {"pminsw", Sse2(0xEA), OP2(_mm_min_epi16), false, false},
        {"pmaxsw", Sse2(0xEE), OP2(_mm_max_epi16), false, false},
        {"pminsb", Sse41(0x38), OP2(_mm_min_epi8), false, false},
        {"pminsd", Sse41(0x39), OP2(_mm_min_epi32), false, false},
        {"pminuw", Sse41(0x3A), OP2(_mm_min_epu16), false, false},
        {"pminud", Sse41(0x3B), OP2(_mm_min_epu32), false, false},
        {"pmaxsb", Sse41(0x3C), OP2(_mm_max_epi8), false, false},
        {"pmaxsd", Sse41(0x3D), OP2(_mm_max_epi32), false, false},
        {"pmaxuw", Sse41(0x3E), OP2(_mm_max_epu16), false, false},
        {"pmaxud", Sse41(0x3F), OP2(_mm_max_epu32), false, false},
        {"pavgb", Sse2(0xE0), OP2(_mm_avg_epu8), false, false},
        {"pavgw", Sse2(0xE3), OP2(_mm_avg_epu16), false, false},
        {"pmullw", Sse2(0xD5), OP2(_mm_mullo_epi16), false, false},
        {"pmulhw", Sse2(0xE5), OP2(_mm_mulhi_epi16), false, false},
        {"pmulhuw", Sse2(0xE4), OP2(_mm_mulhi_epu16), false, false},
        {"pmulld", Sse41(0x40), OP2(_mm_mullo_epi32), false, false},
        {"pmuludq", Sse2(0xF4), OP2(_mm_mul_epu32), false, false},
        {"pmuldq", Sse41(0x28), OP2(_mm_mul_epi32), false, false},
        {"pmaddwd", Sse2(0xF5), OP2(_mm_madd_epi16), false, false},
        {"pmaddubsw", Ssse3(0x04), OP2(_mm_maddubs_epi16), false, false},
        {"pmulhrsw", Ssse3(0x0B), OP2(_mm_mulhrs_epi16), false, false},
        {"psadbw", Sse2(0xF6), OP2(_mm_sad_epu8), false, false},
        {"pand", Sse2(0xDB), OP2(_mm_and_si128), false, false},
        {"pandn", Sse2(0xDF), OP2(_mm_andnot_si128), false, false},
        {"por", Sse2(0xEB), OP2(_mm_or_si128), false, false},
        {"pxor", Sse2(0xEF), OP2(_mm_xor_si128), false, false},
        {"xorps", {0x0F, 0x57, 0xD1}, OP2(_mm_xor_si128), false, false},
        {"andnpd", {0x66, 0x0F, 0x55, 0xD1}, OP2(_mm_andnot_si128), false, false},
        {"psignb", Ssse3(0x08), OP2(_mm_sign_epi8), false, false},
        {"psignw", Ssse3(0x09), OP2(_mm_sign_epi16), false, false},
        {"psignd", Ssse3(0x0A), OP2(_mm_sign_epi32), false, false},
        {"pabsb", Ssse3(0x1C), OP1(_mm_abs_epi8), false, false},
        {"pabsw", Ssse3(0x1D), OP1(_mm_abs_epi16), false, false},
        {"pabsd", Ssse3(0x1E), OP1(_mm_abs_epi32), false, false},
        {"phaddw", Ssse3(0x01), OP2(_mm_hadd_epi16), false, false},
        {"phaddd", Ssse3(0x02), OP2(_mm_hadd_epi32), false, false},
        {"phaddsw", Ssse3(0x03), OP2(_mm_hadds_epi16), false, false},
        {"phsubw", Ssse3(0x05), OP2(_mm_hsub_epi16), false, false},
        {"phsubd", Ssse3(0x06), OP2(_mm_hsub_epi32), false, false},
        {"phsubsw", Ssse3(0x07), OP2(_mm_hsubs_epi16), false, false},
        {"phminposuw", Sse41(0x41), OP1(_mm_minpos_epu16), false, false},
        {"mpsadbw 0", Sse41I(0x42, 0), OPI(_mm_mpsadbw_epu8, 0), false, false},
        {"mpsadbw 7", Sse41I(0x42, 7), OPI(_mm_mpsadbw_epu8, 7), false, false},
        // MMX forms of lane-wise operations give the low half of the XMM form.
        {"paddusb mm", {0x0F, 0xDC, 0xD1}, OP2(_mm_adds_epu8), true, false},
        {"pmulhw mm", {0x0F, 0xE5, 0xD1}, OP2(_mm_mulhi_epi16), true, false},
        {"pcmpgtd mm", {0x0F, 0x66, 0xD1}, OP2(_mm_cmpgt_epi32), true, false},
        {"pmuludq mm", {0x0F, 0xF4, 0xD1}, OP2(_mm_mul_epu32), true, false},
        {"psignw mm", {0x0F, 0x38, 0x09, 0xD1}, OP2(_mm_sign_epi16), true, false},
    };
    for (const TSimdCase& c : cases) {
        ExpectMatchesProcessor(c);
    }
}

// MMX results of operations that rearrange across the register, from the
// XMM result of the same operation on the 8 bytes.
__m128i PackLow(__m128i r) { return _mm_shuffle_epi32(r, 0x08); }

TEST(KeyRoutineSimd, ShufflesPacksAndBlendsMatchTheProcessor)
{
    const std::vector<TSimdCase> cases = {
        {"punpcklbw", Sse2(0x60), OP2(_mm_unpacklo_epi8), false, false},
        {"punpcklwd", Sse2(0x61), OP2(_mm_unpacklo_epi16), false, false},
        {"punpckldq", Sse2(0x62), OP2(_mm_unpacklo_epi32), false, false},
        {"punpcklqdq", Sse2(0x6C), OP2(_mm_unpacklo_epi64), false, false},
        {"punpckhbw", Sse2(0x68), OP2(_mm_unpackhi_epi8), false, false},
        {"punpckhwd", Sse2(0x69), OP2(_mm_unpackhi_epi16), false, false},
        {"punpckhdq", Sse2(0x6A), OP2(_mm_unpackhi_epi32), false, false},
        {"punpckhqdq", Sse2(0x6D), OP2(_mm_unpackhi_epi64), false, false},
        {"packsswb", Sse2(0x63), OP2(_mm_packs_epi16), false, false},
        {"packssdw", Sse2(0x6B), OP2(_mm_packs_epi32), false, false},
        {"packuswb", Sse2(0x67), OP2(_mm_packus_epi16), false, false},
        {"packusdw", Sse41(0x2B), OP2(_mm_packus_epi32), false, false},
        {"pshufb", Ssse3(0x00), OP2(_mm_shuffle_epi8), false, false},
        {"palignr 0", {0x66, 0x0F, 0x3A, 0x0F, 0xD1, 0}, OPI(_mm_alignr_epi8, 0), false, false},
        {"palignr 5", {0x66, 0x0F, 0x3A, 0x0F, 0xD1, 5}, OPI(_mm_alignr_epi8, 5), false, false},
        {"palignr 16", {0x66, 0x0F, 0x3A, 0x0F, 0xD1, 16}, OPI(_mm_alignr_epi8, 16), false, false},
        {"palignr 27", {0x66, 0x0F, 0x3A, 0x0F, 0xD1, 27}, OPI(_mm_alignr_epi8, 27), false, false},
        {"palignr 32", {0x66, 0x0F, 0x3A, 0x0F, 0xD1, 32}, OPI(_mm_alignr_epi8, 32), false, false},
        {"pshufd", {0x66, 0x0F, 0x70, 0xD1, 0x1B}, OP1I(_mm_shuffle_epi32, 0x1B), false, false},
        {"pshuflw", {0xF2, 0x0F, 0x70, 0xD1, 0x9C}, OP1I(_mm_shufflelo_epi16, 0x9C), false, false},
        {"pshufhw", {0xF3, 0x0F, 0x70, 0xD1, 0x4E}, OP1I(_mm_shufflehi_epi16, 0x4E), false, false},
        {"shufps",
         {0x0F, 0xC6, 0xD1, 0xB1},
         [](__m128i a, __m128i b, __m128i) {
             return _mm_castps_si128(
                 _mm_shuffle_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b), 0xB1));
         },
         false,
         false},
        {"shufpd",
         {0x66, 0x0F, 0xC6, 0xD1, 0x01},
         [](__m128i a, __m128i b, __m128i) {
             return _mm_castpd_si128(_mm_shuffle_pd(_mm_castsi128_pd(a), _mm_castsi128_pd(b), 1));
         },
         false,
         false},
        {"unpckhps",
         {0x0F, 0x15, 0xD1},
         [](__m128i a, __m128i b, __m128i) { return _mm_unpackhi_epi32(a, b); },
         false,
         false},
        {"pblendw", Sse41I(0x0E, 0xA5), OPI(_mm_blend_epi16, 0xA5), false, false},
        {"blendps", Sse41I(0x0C, 0x6),
         [](__m128i a, __m128i b, __m128i) {
             return _mm_castps_si128(_mm_blend_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b), 6));
         },
         false, false},
        {"pblendvb", Sse41(0x10),
         [](__m128i a, __m128i b, __m128i m) { return _mm_blendv_epi8(a, b, m); }, false, false},
        {"blendvpd", Sse41(0x15),
         [](__m128i a, __m128i b, __m128i m) {
             return _mm_castpd_si128(
                 _mm_blendv_pd(_mm_castsi128_pd(a), _mm_castsi128_pd(b), _mm_castsi128_pd(m)));
         },
         false, false},
        {"pmovsxbw", Sse41(0x20), OP1(_mm_cvtepi8_epi16), false, false},
        {"pmovsxbd", Sse41(0x21), OP1(_mm_cvtepi8_epi32), false, false},
        {"pmovsxwq", Sse41(0x24), OP1(_mm_cvtepi16_epi64), false, false},
        {"pmovsxdq", Sse41(0x25), OP1(_mm_cvtepi32_epi64), false, false},
        {"pmovzxbw", Sse41(0x30), OP1(_mm_cvtepu8_epi16), false, false},
        {"pmovzxbq", Sse41(0x32), OP1(_mm_cvtepu8_epi64), false, false},
        {"pmovzxwd", Sse41(0x33), OP1(_mm_cvtepu16_epi32), false, false},
        {"pmovzxdq", Sse41(0x35), OP1(_mm_cvtepu32_epi64), false, false},
        {"movhlps",
         {0x0F, 0x12, 0xD1},
         [](__m128i a, __m128i b, __m128i) { return _mm_unpackhi_epi64(b, a); },
         false,
         false},
        {"movlhps",
         {0x0F, 0x16, 0xD1},
         [](__m128i a, __m128i b, __m128i) { return _mm_unpacklo_epi64(a, b); },
         false,
         false},
        {"movss",
         {0xF3, 0x0F, 0x10, 0xD1},
         [](__m128i a, __m128i b, __m128i) { return _mm_blend_epi16(a, b, 0x03); },
         false,
         false},
        {"movsd",
         {0xF2, 0x0F, 0x10, 0xD1},
         [](__m128i a, __m128i b, __m128i) { return _mm_blend_epi16(a, b, 0x0F); },
         false,
         false},
        {"movq xmm", {0xF3, 0x0F, 0x7E, 0xD1}, OP1(_mm_move_epi64), false, false},
        {"movddup", {0xF2, 0x0F, 0x12, 0xD1}, OP1I(_mm_shuffle_epi32, 0x44), false, false},
        {"movshdup", {0xF3, 0x0F, 0x16, 0xD1}, OP1I(_mm_shuffle_epi32, 0xF5), false, false},
        {"insertps", Sse41I(0x21, 0x9A),
         [](__m128i a, __m128i b, __m128i) {
             return _mm_castps_si128(_mm_insert_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b), 0x9A));
         },
         false, false},
        // MMX: the same operation on 8 bytes, taken from the low lanes.
        {"pshufb mm",
         {0x0F, 0x38, 0x00, 0xD1},
         [](__m128i a, __m128i b, __m128i) {
             return _mm_shuffle_epi8(a, _mm_and_si128(b, _mm_set1_epi8(static_cast<char>(0x87))));
         },
         true,
         false},
        {"punpckhbw mm",
         {0x0F, 0x68, 0xD1},
         [](__m128i a, __m128i b, __m128i) { return _mm_srli_si128(_mm_unpacklo_epi8(a, b), 8); },
         true,
         false},
        {"packsswb mm",
         {0x0F, 0x63, 0xD1},
         [](__m128i a, __m128i b, __m128i) { return PackLow(_mm_packs_epi16(a, b)); },
         true,
         false},
        {"phaddw mm",
         {0x0F, 0x38, 0x01, 0xD1},
         [](__m128i a, __m128i b, __m128i) { return PackLow(_mm_hadd_epi16(a, b)); },
         true,
         false},
        {"palignr mm 3",
         {0x0F, 0x3A, 0x0F, 0xD1, 3},
         [](__m128i a, __m128i b, __m128i) {
             return _mm_alignr_epi8(_mm_setzero_si128(), _mm_unpacklo_epi64(b, a), 3);
         },
         true,
         false},
        {"pshufw",
         {0x0F, 0x70, 0xD1, 0x2D},
         [](__m128i, __m128i b, __m128i) { return _mm_shufflelo_epi16(b, 0x2D); },
         true,
         false},
        {"psadbw mm", {0x0F, 0xF6, 0xD1}, OP2(_mm_sad_epu8), true, false},
    };
    for (const TSimdCase& c : cases) {
        ExpectMatchesProcessor(c);
    }
}

TEST(KeyRoutineSimd, ShiftsMatchTheProcessor)
{
    const std::vector<TSimdCase> cases = {
        {"psrlw", Sse2(0xD1), OP2(_mm_srl_epi16), false, true},
        {"psrld", Sse2(0xD2), OP2(_mm_srl_epi32), false, true},
        {"psrlq", Sse2(0xD3), OP2(_mm_srl_epi64), false, true},
        {"psraw", Sse2(0xE1), OP2(_mm_sra_epi16), false, true},
        {"psrad", Sse2(0xE2), OP2(_mm_sra_epi32), false, true},
        {"psllw", Sse2(0xF1), OP2(_mm_sll_epi16), false, true},
        {"pslld", Sse2(0xF2), OP2(_mm_sll_epi32), false, true},
        {"psllq", Sse2(0xF3), OP2(_mm_sll_epi64), false, true},
        // An enormous count (the whole qword counts) empties the lanes.
        {"psrld by a huge count", Sse2(0xD2), OP2(_mm_srl_epi32), false, false},
        {"psraw by a huge count", Sse2(0xE1), OP2(_mm_sra_epi16), false, false},
        {"psrlw 3", {0x66, 0x0F, 0x71, 0xD2, 3}, SHIFTI(_mm_srli_epi16, 3), false, false},
        {"psraw 15", {0x66, 0x0F, 0x71, 0xE2, 15}, SHIFTI(_mm_srai_epi16, 15), false, false},
        {"psraw 40", {0x66, 0x0F, 0x71, 0xE2, 40}, SHIFTI(_mm_srai_epi16, 40), false, false},
        {"psllw 16", {0x66, 0x0F, 0x71, 0xF2, 16}, SHIFTI(_mm_slli_epi16, 16), false, false},
        {"psrld 31", {0x66, 0x0F, 0x72, 0xD2, 31}, SHIFTI(_mm_srli_epi32, 31), false, false},
        {"psrad 7", {0x66, 0x0F, 0x72, 0xE2, 7}, SHIFTI(_mm_srai_epi32, 7), false, false},
        {"pslld 9", {0x66, 0x0F, 0x72, 0xF2, 9}, SHIFTI(_mm_slli_epi32, 9), false, false},
        {"psrlq 33", {0x66, 0x0F, 0x73, 0xD2, 33}, SHIFTI(_mm_srli_epi64, 33), false, false},
        {"psllq 63", {0x66, 0x0F, 0x73, 0xF2, 63}, SHIFTI(_mm_slli_epi64, 63), false, false},
        {"psrldq 3", {0x66, 0x0F, 0x73, 0xDA, 3}, SHIFTI(_mm_srli_si128, 3), false, false},
        {"psrldq 17", {0x66, 0x0F, 0x73, 0xDA, 17}, SHIFTI(_mm_srli_si128, 17), false, false},
        {"pslldq 9", {0x66, 0x0F, 0x73, 0xFA, 9}, SHIFTI(_mm_slli_si128, 9), false, false},
        {"psrlq mm 5", {0x0F, 0x73, 0xD2, 5}, SHIFTI(_mm_srli_epi64, 5), true, false},
        {"psraw mm", {0x0F, 0xE1, 0xD1}, OP2(_mm_sra_epi16), true, true},
    };
    for (const TSimdCase& c : cases) {
        ExpectMatchesProcessor(c);
    }
}

// ptest sets ZF when a AND b is zero and CF when b AND NOT a is, and
// clears the other status flags.
TEST(KeyRoutineSimd, PtestFlagsMatchTheProcessor)
{
    // mov eax,[esp+4]; movdqu xmm2,[eax]; movdqu xmm1,[eax+16]; ptest xmm2,xmm1;
    // pushfd; pop ecx; mov [eax+32],ecx; ret
    const TBytes code = {0x8B, 0x44, 0x24, 0x04, 0xF3, 0x0F, 0x6F, 0x10, 0xF3, 0x0F, 0x6F, 0x48,
                         0x10, 0x66, 0x0F, 0x38, 0x17, 0xD1, 0x9C, 0x59, 0x89, 0x48, 0x20, 0xC3};
    CTestRng rng(0x7074657374);
    for (size_t trial = 0; trial < kInputs; ++trial) {
        uint8_t data[64] = {};
        FillInput(&rng, trial, data);
        FillInput(&rng, trial + 1, data + 16);
        if (trial % 3 == 1) {
            for (int i = 0; i < 16; ++i) data[16 + i] &= static_cast<uint8_t>(~data[i]);
        } else if (trial % 3 == 2) {
            for (int i = 0; i < 16; ++i) data[16 + i] &= data[i];
        }
        const __m128i a = Load(data);
        const __m128i b = Load(data + 16);
        const uint32_t expected =
            (_mm_testz_si128(a, b) ? 0x40u : 0u) | (_mm_testc_si128(a, b) ? 0x01u : 0u);
        CX86Machine machine(code.data(), static_cast<uint32_t>(code.size()), data, sizeof(data),
                            1000);
        ASSERT_TRUE(machine.Run(0).IsOk());
        ASSERT_EQ(expected, ReadU32LE(data + 32) & 0x8D5u)
            << "a " << HexBytes(data, 16) << "\nb " << HexBytes(data + 16, 16);
    }
}

}  // namespace

#else

TEST(KeyRoutineSimd, NeedsAnSse41Host) { GTEST_SKIP() << "the oracle needs SSE4.1 intrinsics"; }

#endif
