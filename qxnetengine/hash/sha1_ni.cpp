#include "qxnetengine/hash/sha1.h"

#if defined(__i386__) || defined(__x86_64__)

#include <cpuid.h>
#include <immintrin.h>

#define QX_SHANI __attribute__((target("sha,sse4.1")))
#if defined(__i386__)
// 32-bit Windows keeps the stack only 4-byte aligned; realign for SSE spills.
#define QX_SHANI_ENTRY __attribute__((target("sha,sse4.1"), force_align_arg_pointer))
#else
#define QX_SHANI_ENTRY QX_SHANI
#endif

namespace {

// Four rounds of group g (0..19). w[g & 3] holds the message words of the
// group (the schedule is extended here from g = 4 on); abcd has A in the
// high lane, e the value to add to the first word; prev receives abcd
// before the rounds, from which the next group's E is derived.
template <int g>
QX_SHANI inline void Group(__m128i* w, __m128i& abcd, __m128i& e, __m128i& prev)
{
    if (g >= 4) {
        __m128i x = _mm_sha1msg1_epu32(w[g & 3], w[(g + 1) & 3]);
        x = _mm_xor_si128(x, w[(g + 2) & 3]);
        w[g & 3] = _mm_sha1msg2_epu32(x, w[(g + 3) & 3]);
    }
    __m128i ew = g == 0 ? _mm_add_epi32(e, w[0]) : _mm_sha1nexte_epu32(prev, w[g & 3]);
    prev = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, ew, g / 5);
}

bool DetectShaNi()
{
    unsigned int a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return false;
    const unsigned int kSse41 = 1u << 19, kSsse3 = 1u << 9;
    if (!(c & kSse41) || !(c & kSsse3))
        return false;
    if (__get_cpuid_max(0, nullptr) < 7)
        return false;
    __cpuid_count(7, 0, a, b, c, d);
    return (b & (1u << 29)) != 0;
}

}  // namespace

bool Sha1NiAvailable()
{
    static const bool has = DetectShaNi();
    return has;
}

QX_SHANI_ENTRY void Sha1BlocksNi(uint32_t state[5], const uint8_t* data, size_t n)
{
    // Whole-register byte reversal: big-endian words, first word in the high lane.
    const __m128i order = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
    __m128i abcd =
        _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
    __m128i e = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);
    for (; n > 0; --n, data += 64) {
        const __m128i abcdSave = abcd, eSave = e;
        __m128i w[4];
        for (int k = 0; k < 4; ++k)
            w[k] = _mm_shuffle_epi8(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * k)), order);
        __m128i prev = _mm_setzero_si128();
        Group<0>(w, abcd, e, prev);
        Group<1>(w, abcd, e, prev);
        Group<2>(w, abcd, e, prev);
        Group<3>(w, abcd, e, prev);
        Group<4>(w, abcd, e, prev);
        Group<5>(w, abcd, e, prev);
        Group<6>(w, abcd, e, prev);
        Group<7>(w, abcd, e, prev);
        Group<8>(w, abcd, e, prev);
        Group<9>(w, abcd, e, prev);
        Group<10>(w, abcd, e, prev);
        Group<11>(w, abcd, e, prev);
        Group<12>(w, abcd, e, prev);
        Group<13>(w, abcd, e, prev);
        Group<14>(w, abcd, e, prev);
        Group<15>(w, abcd, e, prev);
        Group<16>(w, abcd, e, prev);
        Group<17>(w, abcd, e, prev);
        Group<18>(w, abcd, e, prev);
        Group<19>(w, abcd, e, prev);
        e = _mm_sha1nexte_epu32(prev, eSave);
        abcd = _mm_add_epi32(abcd, abcdSave);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1B));
    state[4] = static_cast<uint32_t>(_mm_extract_epi32(e, 3));
}

#else

bool Sha1NiAvailable() { return false; }

void Sha1BlocksNi(uint32_t state[5], const uint8_t* data, size_t n)
{
    Sha1BlocksPortable(state, data, n);
}

#endif
