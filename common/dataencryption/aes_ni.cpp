#include "common/dataencryption/aes.h"

#if defined(__i386__) || defined(__x86_64__)

#include <cpuid.h>
#include <immintrin.h>

// Compiled for AES-NI per function, so the rest of the program needs no
// special flags and still runs on processors without it.
#define QX_AESNI __attribute__((target("aes,sse4.1")))
#if defined(__i386__)
// 32-bit Windows keeps the stack only 4-byte aligned; realign for SSE spills.
#define QX_AESNI_ENTRY __attribute__((target("aes,sse4.1"), force_align_arg_pointer))
#else
#define QX_AESNI_ENTRY QX_AESNI
#endif

namespace {

// The schedule holds big-endian words; AES-NI wants the key bytes in order.
QX_AESNI inline __m128i LoadRoundKey(const uint32_t* w)
{
    const __m128i swap = _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(w)), swap);
}

QX_AESNI inline __m128i LoadBlock(const uint8_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

QX_AESNI inline void StoreBlock(uint8_t* p, __m128i v)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// Four independent blocks per step keep the AES unit's pipeline full.
template <bool kEncrypt>
QX_AESNI_ENTRY void CryptBlocks(const uint32_t* rkWords, int rounds, const uint8_t* in,
                                uint8_t* out, size_t n)
{
    __m128i rk[15];
    for (int r = 0; r <= rounds; ++r) rk[r] = LoadRoundKey(rkWords + 4 * r);
    size_t k = 0;
    for (; k + 4 <= n; k += 4) {
        __m128i b0 = _mm_xor_si128(LoadBlock(in + 16 * k), rk[0]);
        __m128i b1 = _mm_xor_si128(LoadBlock(in + 16 * k + 16), rk[0]);
        __m128i b2 = _mm_xor_si128(LoadBlock(in + 16 * k + 32), rk[0]);
        __m128i b3 = _mm_xor_si128(LoadBlock(in + 16 * k + 48), rk[0]);
        for (int r = 1; r < rounds; ++r) {
            if (kEncrypt) {
                b0 = _mm_aesenc_si128(b0, rk[r]);
                b1 = _mm_aesenc_si128(b1, rk[r]);
                b2 = _mm_aesenc_si128(b2, rk[r]);
                b3 = _mm_aesenc_si128(b3, rk[r]);
            } else {
                b0 = _mm_aesdec_si128(b0, rk[r]);
                b1 = _mm_aesdec_si128(b1, rk[r]);
                b2 = _mm_aesdec_si128(b2, rk[r]);
                b3 = _mm_aesdec_si128(b3, rk[r]);
            }
        }
        if (kEncrypt) {
            b0 = _mm_aesenclast_si128(b0, rk[rounds]);
            b1 = _mm_aesenclast_si128(b1, rk[rounds]);
            b2 = _mm_aesenclast_si128(b2, rk[rounds]);
            b3 = _mm_aesenclast_si128(b3, rk[rounds]);
        } else {
            b0 = _mm_aesdeclast_si128(b0, rk[rounds]);
            b1 = _mm_aesdeclast_si128(b1, rk[rounds]);
            b2 = _mm_aesdeclast_si128(b2, rk[rounds]);
            b3 = _mm_aesdeclast_si128(b3, rk[rounds]);
        }
        StoreBlock(out + 16 * k, b0);
        StoreBlock(out + 16 * k + 16, b1);
        StoreBlock(out + 16 * k + 32, b2);
        StoreBlock(out + 16 * k + 48, b3);
    }
    for (; k < n; ++k) {
        __m128i b = _mm_xor_si128(LoadBlock(in + 16 * k), rk[0]);
        for (int r = 1; r < rounds; ++r)
            b = kEncrypt ? _mm_aesenc_si128(b, rk[r]) : _mm_aesdec_si128(b, rk[r]);
        b = kEncrypt ? _mm_aesenclast_si128(b, rk[rounds]) : _mm_aesdeclast_si128(b, rk[rounds]);
        StoreBlock(out + 16 * k, b);
    }
}

bool DetectAesNi()
{
    unsigned int a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return false;
    const unsigned int kAes = 1u << 25, kSse41 = 1u << 19, kSsse3 = 1u << 9;
    return (c & kAes) && (c & kSse41) && (c & kSsse3);
}

}  // namespace

bool AesNiAvailable()
{
    static const bool has = DetectAesNi();
    return has;
}

void AesEncryptBlocksNi(const uint32_t* sched, const uint8_t* in, uint8_t* out, size_t n)
{
    CryptBlocks<true>(sched, static_cast<int>(sched[kAesRoundsIndex]), in, out, n);
}

void AesDecryptBlocksNi(const uint32_t* sched, const uint8_t* in, uint8_t* out, size_t n)
{
    CryptBlocks<false>(sched + kAesDecOffset, static_cast<int>(sched[kAesRoundsIndex]), in, out, n);
}

#else

bool AesNiAvailable() { return false; }

void AesEncryptBlocksNi(const uint32_t* sched, const uint8_t* in, uint8_t* out, size_t n)
{
    AesEncryptBlocksTable(sched, in, out, n);
}

void AesDecryptBlocksNi(const uint32_t* sched, const uint8_t* in, uint8_t* out, size_t n)
{
    AesDecryptBlocksTable(sched, in, out, n);
}

#endif
