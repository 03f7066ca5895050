// CRC-32 by folding with carry-less multiplication (PCLMULQDQ).
//
// Registers hold polynomials bit-reflected, as the CRC itself does: in a
// value of width w, bit i is the coefficient of x^(w-1-i). Loaded
// little-endian, sixteen message bytes are such a value of width 128, the
// first message bit being the highest power. A carry-less product of values
// of widths a and b is the product polynomial at width a + b - 1.
//
// The CRC register after a message M (the start register XORed into its
// first four bytes) is M * x^32 mod P. Folding keeps up to 512 bits of M in
// hand, multiplied forward to where the next bytes sit, so the lanes stay
// independent until the end; the last 128 bits are reduced to 32 and any
// tail of under 16 bytes goes through the table method. Where the processor
// has VPCLMULQDQ with AVX-512, four such lanes share one 512-bit register.
#include "common/crc/crc32.h"

#if defined(__i386__) || defined(__x86_64__)

#include <cpuid.h>
#include <immintrin.h>

// Compiled for PCLMULQDQ per function, so the rest of the program needs no
// special flags and still runs on processors without it.
#define QX_CLMUL __attribute__((target("pclmul,sse4.1")))
#if defined(__i386__)
// 32-bit Windows keeps the stack only 4-byte aligned; realign for SSE spills.
#define QX_CLMUL_ENTRY __attribute__((target("pclmul,sse4.1"), force_align_arg_pointer))
#else
#define QX_CLMUL_ENTRY QX_CLMUL
#endif

namespace {

const uint32_t kPoly = 0xEDB88320u;  // P without its x^32 term, reflected

// x^n mod P at width 32: the register after n zero bits, started at x^0.
constexpr uint32_t XPowMod(unsigned n)
{
    uint32_t r = 0x80000000u;
    for (unsigned i = 0; i < n; ++i) r = (r & 1) ? (r >> 1) ^ kPoly : r >> 1;
    return r;
}

// x^n mod P at width 33. A 64-bit half Q times it is Q * (x^n mod P) at
// width 96, which read at width 128 is Q * x^(n + 32).
constexpr uint64_t K(unsigned n) { return static_cast<uint64_t>(XPowMod(n)) << 1; }

constexpr uint64_t Reflect(uint64_t v, int width)
{
    uint64_t r = 0;
    for (int i = 0; i < width; ++i) r |= ((v >> i) & 1) << (width - 1 - i);
    return r;
}

// floor(x^64 / P) at width 33, by long division in plain bit order.
constexpr uint64_t BarrettMu()
{
    const uint64_t p = (1ull << 32) | Reflect(kPoly, 32);
    uint64_t rem = 0, quot = 0;
    for (int bit = 64; bit >= 0; --bit) {
        rem = (rem << 1) | (bit == 64 ? 1 : 0);
        quot <<= 1;
        if ((rem >> 32) & 1) {
            rem ^= p;
            quot |= 1;
        }
    }
    return Reflect(quot, 33);
}

// A 128-bit value X = H * x^64 + L (H the low half) moved forward by D bits:
// H * x^(D+64) + L * x^D, i.e. H times K(D + 32) plus L times K(D - 32).
constexpr uint64_t kFold512Lo = K(512 + 32), kFold512Hi = K(512 - 32);
constexpr uint64_t kFold128Lo = K(128 + 32), kFold128Hi = K(128 - 32);
constexpr uint64_t kMod64 = K(64);
constexpr uint64_t kMu = BarrettMu();
constexpr uint64_t kPolyWide = (static_cast<uint64_t>(kPoly) << 1) | 1;  // P at width 33

static_assert(XPowMod(32) == kPoly, "x^32 mod P is P without its top term");
static_assert((kMu >> 32) == 1 && (kMu & 1) == 1, "floor(x^64 / P) has degree 32");

QX_CLMUL inline __m128i Load(const uint8_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

QX_CLMUL inline __m128i Fold(__m128i x, __m128i k)
{
    return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11));
}

// X * x^32 mod P at width 32: the CRC register after X's sixteen bytes.
QX_CLMUL inline uint32_t Reduce(__m128i x)
{
    const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
    // H * x^96 + L * x^32, with H * (x^96 mod P): 96 bits, bit k is x^(95-k).
    const __m128i k96 = _mm_set_epi64x(0, static_cast<long long>(kFold128Hi));
    __m128i s = _mm_xor_si128(_mm_clmulepi64_si128(x, k96, 0x00), _mm_srli_si128(x, 8));
    // Its top 32 bits times (x^64 mod P): 64 bits, bit k is x^(63-k).
    const __m128i k64 = _mm_set_epi64x(0, static_cast<long long>(kMod64));
    __m128i t = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(s, low32), k64, 0x00),
                              _mm_srli_si128(s, 4));
    // Barrett: the quotient q = floor(top32(T) * mu / x^32) is the low word
    // of the product; T + q * P leaves only the 32 lowest powers, in bits 32..63.
    const __m128i pmu =
        _mm_set_epi64x(static_cast<long long>(kMu), static_cast<long long>(kPolyWide));
    __m128i q = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(t, low32), pmu, 0x10), low32);
    __m128i r = _mm_xor_si128(t, _mm_clmulepi64_si128(q, pmu, 0x00));
    return static_cast<uint32_t>(_mm_extract_epi32(r, 1));
}

// The register after len bytes (a multiple of 16, at least 16) from crc.
QX_CLMUL_ENTRY uint32_t FoldBlocks(const uint8_t* p, uint32_t len, uint32_t crc)
{
    const __m128i k512 =
        _mm_set_epi64x(static_cast<long long>(kFold512Hi), static_cast<long long>(kFold512Lo));
    const __m128i k128 =
        _mm_set_epi64x(static_cast<long long>(kFold128Hi), static_cast<long long>(kFold128Lo));
    __m128i x0 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    p += 16;
    len -= 16;
    if (len >= 48) {
        // Four lanes, each folded across the 512 bits the others cover.
        __m128i x1 = Load(p), x2 = Load(p + 16), x3 = Load(p + 32);
        p += 48;
        len -= 48;
        for (; len >= 64; p += 64, len -= 64) {
            x0 = _mm_xor_si128(Fold(x0, k512), Load(p));
            x1 = _mm_xor_si128(Fold(x1, k512), Load(p + 16));
            x2 = _mm_xor_si128(Fold(x2, k512), Load(p + 32));
            x3 = _mm_xor_si128(Fold(x3, k512), Load(p + 48));
        }
        x0 = _mm_xor_si128(Fold(x0, k128), x1);
        x0 = _mm_xor_si128(Fold(x0, k128), x2);
        x0 = _mm_xor_si128(Fold(x0, k128), x3);
    }
    for (; len >= 16; p += 16, len -= 16) x0 = _mm_xor_si128(Fold(x0, k128), Load(p));
    return Reduce(x0);
}

bool DetectClmul()
{
    unsigned int a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return false;
    const unsigned int kPclmul = 1u << 1, kSse41 = 1u << 19;
    return (c & kPclmul) && (c & kSse41);
}

// Below this the reduction costs more than the table method saves.
const uint32_t kClmulMin = 32;

#if defined(__x86_64__)
// The same folding four lanes to a 512-bit register (VPCLMULQDQ with
// AVX-512), sixteen lanes in all; 64-bit only, where the sixteen fit in
// registers and nothing wide is spilled to a stack of unknown alignment.
#define QX_VPCLMUL __attribute__((target("avx512f,vpclmulqdq,pclmul,sse4.1")))

const uint32_t kWideMin = 256;  // the four 512-bit lanes' first load

QX_VPCLMUL inline __m512i FoldWide(__m512i x, __m512i k, __m512i next)
{
    // 0x96: the three-way XOR.
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(x, k, 0x00),
                                     _mm512_clmulepi64_epi128(x, k, 0x11), next, 0x96);
}

QX_VPCLMUL inline __m512i LoadWide(const uint8_t* p) { return _mm512_loadu_si512(p); }

QX_VPCLMUL inline __m512i Broadcast(uint64_t lo, uint64_t hi)
{
    const long long l = static_cast<long long>(lo), h = static_cast<long long>(hi);
    return _mm512_set_epi64(h, l, h, l, h, l, h, l);
}

// Lane i of z. The masked form: GCC 12 warns about the undefined upper
// lanes that the plain extract and cast start from.
template <int i>
QX_VPCLMUL inline __m128i Lane(__m512i z)
{
    return _mm512_maskz_extracti32x4_epi32(0xF, z, i);
}

// FoldBlocks for len (a multiple of 16) of at least kWideMin.
QX_VPCLMUL uint32_t FoldBlocksWide(const uint8_t* p, uint32_t len, uint32_t crc)
{
    const __m512i k2048 = Broadcast(K(2048 + 32), K(2048 - 32));
    const __m512i k512 = Broadcast(kFold512Lo, kFold512Hi);
    const __m128i k128 =
        _mm_set_epi64x(static_cast<long long>(kFold128Hi), static_cast<long long>(kFold128Lo));
    __m512i z0 = _mm512_xor_si512(LoadWide(p),
                                  _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(crc))));
    __m512i z1 = LoadWide(p + 64), z2 = LoadWide(p + 128), z3 = LoadWide(p + 192);
    p += 256;
    len -= 256;
    for (; len >= 256; p += 256, len -= 256) {
        z0 = FoldWide(z0, k2048, LoadWide(p));
        z1 = FoldWide(z1, k2048, LoadWide(p + 64));
        z2 = FoldWide(z2, k2048, LoadWide(p + 128));
        z3 = FoldWide(z3, k2048, LoadWide(p + 192));
    }
    z0 = FoldWide(z0, k512, z1);
    z0 = FoldWide(z0, k512, z2);
    z0 = FoldWide(z0, k512, z3);
    for (; len >= 64; p += 64, len -= 64) z0 = FoldWide(z0, k512, LoadWide(p));
    // Its four 128-bit lanes are consecutive message blocks.
    __m128i x = Lane<0>(z0);
    x = _mm_xor_si128(Fold(x, k128), Lane<1>(z0));
    x = _mm_xor_si128(Fold(x, k128), Lane<2>(z0));
    x = _mm_xor_si128(Fold(x, k128), Lane<3>(z0));
    for (; len >= 16; p += 16, len -= 16) x = _mm_xor_si128(Fold(x, k128), Load(p));
    return Reduce(x);
}

bool DetectWide()
{
    unsigned int a = 0, b = 0, c = 0, d = 0;
    const unsigned int kOsXsave = 1u << 27;
    if (!DetectClmul() || !__get_cpuid(1, &a, &b, &c, &d) || !(c & kOsXsave))
        return false;
    // The system must save the 512-bit registers and the mask registers.
    unsigned int xcr0 = 0, xcr0High = 0;
    __asm__("xgetbv" : "=a"(xcr0), "=d"(xcr0High) : "c"(0));
    const unsigned int kZmmState = 0xE6;  // SSE, AVX, opmask, ZMM0-15 upper halves, ZMM16-31
    if ((xcr0 & kZmmState) != kZmmState || !__get_cpuid_count(7, 0, &a, &b, &c, &d))
        return false;
    const unsigned int kAvx512f = 1u << 16, kVpclmul = 1u << 10;
    return (b & kAvx512f) && (c & kVpclmul);
}
#else
bool DetectWide() { return false; }
#endif

}  // namespace

bool Crc32ClmulAvailable()
{
    static const bool has = DetectClmul();
    return has;
}

bool Crc32WideClmulAvailable()
{
    static const bool has = DetectWide();
    return has;
}

uint32_t Crc32BufferWideClmul(const uint8_t* data, uint32_t len, uint32_t crc, bool raw)
{
#if defined(__x86_64__)
    if (len >= kWideMin) {
        const uint32_t whole = len & ~15u;
        crc = FoldBlocksWide(data, whole, crc);
        data += whole;
        len -= whole;
    }
#endif
    return Crc32BufferClmul(data, len, crc, raw);
}

uint32_t Crc32BufferClmul(const uint8_t* data, uint32_t len, uint32_t crc, bool raw)
{
    if (len >= kClmulMin) {
        const uint32_t whole = len & ~15u;
        crc = FoldBlocks(data, whole, crc);
        data += whole;
        len -= whole;
    }
    return Crc32BufferTable(data, len, crc, raw);
}

#else

bool Crc32ClmulAvailable() { return false; }

bool Crc32WideClmulAvailable() { return false; }

uint32_t Crc32BufferWideClmul(const uint8_t* data, uint32_t len, uint32_t crc, bool raw)
{
    return Crc32BufferTable(data, len, crc, raw);
}

uint32_t Crc32BufferClmul(const uint8_t* data, uint32_t len, uint32_t crc, bool raw)
{
    return Crc32BufferTable(data, len, crc, raw);
}

#endif
