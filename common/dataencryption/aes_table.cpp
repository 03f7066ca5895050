#include "common/dataencryption/aes.h"

#include "common/bytes/byteorder.h"

namespace {

constexpr uint8_t XTime(uint8_t x)
{
    return static_cast<uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1B : 0));
}

constexpr uint8_t GfMul(uint8_t a, uint8_t b)
{
    uint8_t r = 0;
    while (b) {
        if (b & 1)
            r ^= a;
        a = XTime(a);
        b >>= 1;
    }
    return r;
}

constexpr uint8_t Rotl8(uint8_t x, int n)
{
    return static_cast<uint8_t>((x << n) | (x >> (8 - n)));
}

constexpr uint32_t Ror32(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

constexpr uint32_t Word(uint8_t a, uint8_t b, uint8_t c, uint8_t d)
{
    return (static_cast<uint32_t>(a) << 24) | (static_cast<uint32_t>(b) << 16) |
           (static_cast<uint32_t>(c) << 8) | d;
}

// The S-boxes and the four combined round tables of each direction, built
// at compile time from the field arithmetic so there is no mutable state.
struct CAesTables {
    uint8_t sbox[256];
    uint8_t inv[256];
    uint32_t te[4][256];
    uint32_t td[4][256];
};

constexpr CAesTables MakeTables()
{
    CAesTables t{};
    for (int x = 0; x < 256; ++x) {
        uint8_t invx = 0;
        for (int y = 1; y < 256 && x != 0; ++y) {
            if (GfMul(static_cast<uint8_t>(x), static_cast<uint8_t>(y)) == 1) {
                invx = static_cast<uint8_t>(y);
                break;
            }
        }
        uint8_t s = static_cast<uint8_t>(invx ^ Rotl8(invx, 1) ^ Rotl8(invx, 2) ^ Rotl8(invx, 3) ^
                                         Rotl8(invx, 4) ^ 0x63);
        t.sbox[x] = s;
        t.inv[s] = static_cast<uint8_t>(x);
    }
    for (int x = 0; x < 256; ++x) {
        uint8_t s = t.sbox[x];
        uint8_t i = t.inv[x];
        t.te[0][x] = Word(GfMul(s, 2), s, s, GfMul(s, 3));
        t.td[0][x] = Word(GfMul(i, 14), GfMul(i, 9), GfMul(i, 13), GfMul(i, 11));
        for (int k = 1; k < 4; ++k) {
            t.te[k][x] = Ror32(t.te[0][x], 8 * k);
            t.td[k][x] = Ror32(t.td[0][x], 8 * k);
        }
    }
    return t;
}

constexpr CAesTables kT = MakeTables();
static_assert(kT.sbox[0] == 0x63 && kT.sbox[0x53] == 0xED && kT.inv[0x63] == 0, "AES S-box");

inline uint32_t SubWord(uint32_t w)
{
    return Word(kT.sbox[w >> 24], kT.sbox[(w >> 16) & 0xFF], kT.sbox[(w >> 8) & 0xFF],
                kT.sbox[w & 0xFF]);
}

// InvMixColumns of one round-key word: td[] already holds the inverse S-box,
// so feed it the forward S-box of each byte.
inline uint32_t InvMixWord(uint32_t w)
{
    return kT.td[0][kT.sbox[w >> 24]] ^ kT.td[1][kT.sbox[(w >> 16) & 0xFF]] ^
           kT.td[2][kT.sbox[(w >> 8) & 0xFF]] ^ kT.td[3][kT.sbox[w & 0xFF]];
}

inline uint8_t B0(uint32_t x) { return static_cast<uint8_t>(x >> 24); }
inline uint8_t B1(uint32_t x) { return static_cast<uint8_t>(x >> 16); }
inline uint8_t B2(uint32_t x) { return static_cast<uint8_t>(x >> 8); }
inline uint8_t B3(uint32_t x) { return static_cast<uint8_t>(x); }

void EncryptBlock(const uint32_t* rk, int rounds, const uint8_t* in, uint8_t* out)
{
    const auto& te = kT.te;
    uint32_t s0 = ReadU32BE(in) ^ rk[0];
    uint32_t s1 = ReadU32BE(in + 4) ^ rk[1];
    uint32_t s2 = ReadU32BE(in + 8) ^ rk[2];
    uint32_t s3 = ReadU32BE(in + 12) ^ rk[3];
    for (int r = 1; r < rounds; ++r) {
        rk += 4;
        uint32_t t0 = te[0][B0(s0)] ^ te[1][B1(s1)] ^ te[2][B2(s2)] ^ te[3][B3(s3)] ^ rk[0];
        uint32_t t1 = te[0][B0(s1)] ^ te[1][B1(s2)] ^ te[2][B2(s3)] ^ te[3][B3(s0)] ^ rk[1];
        uint32_t t2 = te[0][B0(s2)] ^ te[1][B1(s3)] ^ te[2][B2(s0)] ^ te[3][B3(s1)] ^ rk[2];
        uint32_t t3 = te[0][B0(s3)] ^ te[1][B1(s0)] ^ te[2][B2(s1)] ^ te[3][B3(s2)] ^ rk[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    rk += 4;
    const uint8_t* sb = kT.sbox;
    WriteU32BE(out, Word(sb[B0(s0)], sb[B1(s1)], sb[B2(s2)], sb[B3(s3)]) ^ rk[0]);
    WriteU32BE(out + 4, Word(sb[B0(s1)], sb[B1(s2)], sb[B2(s3)], sb[B3(s0)]) ^ rk[1]);
    WriteU32BE(out + 8, Word(sb[B0(s2)], sb[B1(s3)], sb[B2(s0)], sb[B3(s1)]) ^ rk[2]);
    WriteU32BE(out + 12, Word(sb[B0(s3)], sb[B1(s0)], sb[B2(s1)], sb[B3(s2)]) ^ rk[3]);
}

void DecryptBlock(const uint32_t* rk, int rounds, const uint8_t* in, uint8_t* out)
{
    const auto& td = kT.td;
    uint32_t s0 = ReadU32BE(in) ^ rk[0];
    uint32_t s1 = ReadU32BE(in + 4) ^ rk[1];
    uint32_t s2 = ReadU32BE(in + 8) ^ rk[2];
    uint32_t s3 = ReadU32BE(in + 12) ^ rk[3];
    for (int r = 1; r < rounds; ++r) {
        rk += 4;
        uint32_t t0 = td[0][B0(s0)] ^ td[1][B1(s3)] ^ td[2][B2(s2)] ^ td[3][B3(s1)] ^ rk[0];
        uint32_t t1 = td[0][B0(s1)] ^ td[1][B1(s0)] ^ td[2][B2(s3)] ^ td[3][B3(s2)] ^ rk[1];
        uint32_t t2 = td[0][B0(s2)] ^ td[1][B1(s1)] ^ td[2][B2(s0)] ^ td[3][B3(s3)] ^ rk[2];
        uint32_t t3 = td[0][B0(s3)] ^ td[1][B1(s2)] ^ td[2][B2(s1)] ^ td[3][B3(s0)] ^ rk[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    rk += 4;
    const uint8_t* si = kT.inv;
    WriteU32BE(out, Word(si[B0(s0)], si[B1(s3)], si[B2(s2)], si[B3(s1)]) ^ rk[0]);
    WriteU32BE(out + 4, Word(si[B0(s1)], si[B1(s0)], si[B2(s3)], si[B3(s2)]) ^ rk[1]);
    WriteU32BE(out + 8, Word(si[B0(s2)], si[B1(s1)], si[B2(s0)], si[B3(s3)]) ^ rk[2]);
    WriteU32BE(out + 12, Word(si[B0(s3)], si[B1(s2)], si[B2(s1)], si[B3(s0)]) ^ rk[3]);
}

}  // namespace

void AesExpandKey(const uint8_t* key, int len, uint32_t* sched)
{
    const int nk = len / 4;
    const int rounds = nk + 6;
    const int words = 4 * (rounds + 1);
    uint32_t* ek = sched;
    for (int i = 0; i < nk; ++i) ek[i] = ReadU32BE(key + 4 * i);
    uint8_t rcon = 1;
    for (int i = nk; i < words; ++i) {
        uint32_t temp = ek[i - 1];
        if (i % nk == 0) {
            temp = SubWord(Ror32(temp, 24)) ^ (static_cast<uint32_t>(rcon) << 24);
            rcon = XTime(rcon);
        } else if (nk > 6 && i % nk == 4) {
            temp = SubWord(temp);
        }
        ek[i] = ek[i - nk] ^ temp;
    }
    // Equivalent inverse cipher: round keys in reverse round order, the
    // inner ones through InvMixColumns.
    uint32_t* dk = sched + kAesDecOffset;
    for (int r = 0; r <= rounds; ++r) {
        for (int c = 0; c < 4; ++c) {
            uint32_t w = ek[4 * (rounds - r) + c];
            dk[4 * r + c] = (r == 0 || r == rounds) ? w : InvMixWord(w);
        }
    }
    sched[kAesRoundsIndex] = static_cast<uint32_t>(rounds);
}

void AesEncryptBlocksTable(const uint32_t* sched, const uint8_t* in, uint8_t* out, size_t n)
{
    const int rounds = static_cast<int>(sched[kAesRoundsIndex]);
    for (size_t k = 0; k < n; ++k) EncryptBlock(sched, rounds, in + 16 * k, out + 16 * k);
}

void AesDecryptBlocksTable(const uint32_t* sched, const uint8_t* in, uint8_t* out, size_t n)
{
    const int rounds = static_cast<int>(sched[kAesRoundsIndex]);
    for (size_t k = 0; k < n; ++k)
        DecryptBlock(sched + kAesDecOffset, rounds, in + 16 * k, out + 16 * k);
}
