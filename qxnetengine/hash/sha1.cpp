#include "qxnetengine/hash/sha1.h"

#include "common/bytes/byteorder.h"

#include <atomic>
#include <cstring>

namespace {

inline uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// One step; f is the round function of b, c, d before the step.
inline void Step(uint32_t* w, int t, uint32_t f, uint32_t k, uint32_t& a, uint32_t& b, uint32_t& c,
                 uint32_t& d, uint32_t& e)
{
    uint32_t wt = w[t & 15];
    if (t >= 16) {
        wt = Rotl(w[(t + 13) & 15] ^ w[(t + 8) & 15] ^ w[(t + 2) & 15] ^ wt, 1);
        w[t & 15] = wt;
    }
    uint32_t temp = Rotl(a, 5) + f + e + k + wt;
    e = d;
    d = c;
    c = Rotl(b, 30);
    b = a;
    a = temp;
}

std::atomic<int>& ImplChoice()
{
    static std::atomic<int> choice(Sha1NiAvailable() ? kSha1Ni : kSha1Portable);
    return choice;
}

void Compress(uint32_t state[5], const uint8_t* data, size_t n)
{
    if (ImplChoice().load(std::memory_order_relaxed) == kSha1Ni)
        Sha1BlocksNi(state, data, n);
    else
        Sha1BlocksPortable(state, data, n);
}

}  // namespace

void Sha1BlocksPortable(uint32_t state[5], const uint8_t* data, size_t n)
{
    for (; n > 0; --n, data += 64) {
        uint32_t w[16];
        for (int t = 0; t < 16; ++t) w[t] = ReadU32BE(data + 4 * t);
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
        for (int t = 0; t < 20; ++t) Step(w, t, d ^ (b & (c ^ d)), 0x5A827999u, a, b, c, d, e);
        for (int t = 20; t < 40; ++t) Step(w, t, b ^ c ^ d, 0x6ED9EBA1u, a, b, c, d, e);
        for (int t = 40; t < 60; ++t)
            Step(w, t, (b & c) | (d & (b | c)), 0x8F1BBCDCu, a, b, c, d, e);
        for (int t = 60; t < 80; ++t) Step(w, t, b ^ c ^ d, 0xCA62C1D6u, a, b, c, d, e);
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
    }
}

ESha1Impl Sha1ActiveImpl()
{
    return static_cast<ESha1Impl>(ImplChoice().load(std::memory_order_relaxed));
}

bool Sha1UseImpl(ESha1Impl impl)
{
    if (impl == kSha1Ni && !Sha1NiAvailable())
        return false;
    ImplChoice().store(impl, std::memory_order_relaxed);
    return true;
}

void CSha1::Init()
{
    m_State[0] = 0x67452301u;
    m_State[1] = 0xEFCDAB89u;
    m_State[2] = 0x98BADCFEu;
    m_State[3] = 0x10325476u;
    m_State[4] = 0xC3D2E1F0u;
    m_nTotal = 0;
    m_nBuf = 0;
}

void CSha1::Update(const void* data, size_t len)
{
    const uint8_t* p = static_cast<const uint8_t*>(data);
    m_nTotal += len;
    if (m_nBuf) {
        size_t take = kBlockLen - m_nBuf < len ? kBlockLen - m_nBuf : len;
        memcpy(m_Buf + m_nBuf, p, take);
        m_nBuf += take;
        p += take;
        len -= take;
        if (m_nBuf < kBlockLen)
            return;
        Compress(m_State, m_Buf, 1);
        m_nBuf = 0;
    }
    if (len >= kBlockLen) {
        Compress(m_State, p, len / kBlockLen);
        p += len / kBlockLen * kBlockLen;
        len %= kBlockLen;
    }
    if (len) {
        memcpy(m_Buf, p, len);
        m_nBuf = len;
    }
}

void CSha1::Final(uint8_t digest[kDigestLen])
{
    const uint64_t bits = m_nTotal * 8;
    uint8_t tail[2 * kBlockLen] = {};
    memcpy(tail, m_Buf, m_nBuf);
    tail[m_nBuf] = 0x80;
    const size_t tailLen = m_nBuf < 56 ? kBlockLen : 2 * kBlockLen;
    StoreBE(tail + tailLen - 8, bits);
    Compress(m_State, tail, tailLen / kBlockLen);
    for (int k = 0; k < 5; ++k) WriteU32BE(digest + 4 * k, m_State[k]);
    Init();
}
