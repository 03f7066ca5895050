#pragma once
// SHA-1 (FIPS 180). The compression runs on the SHA instructions where the
// processor has them (chosen once at run time) and portable code elsewhere;
// both give the same digest.

#include <cstddef>
#include <cstdint>

class CSha1 {
public:
    enum { kDigestLen = 20, kBlockLen = 64 };

    CSha1() { Init(); }
    void Init();
    void Update(const void* data, size_t len);
    // Pads, writes the 20-byte digest (big-endian state words) and leaves the
    // object to be Init-ed again.
    void Final(uint8_t digest[kDigestLen]);

private:
    uint32_t m_State[5];
    uint64_t m_nTotal;  // bytes fed so far
    uint8_t m_Buf[kBlockLen];
    size_t m_nBuf;
};

enum ESha1Impl { kSha1Portable, kSha1Ni };

bool Sha1NiAvailable();
ESha1Impl Sha1ActiveImpl();
// Pins the implementation (tests and benchmarks run both); false, changing
// nothing, when the processor lacks the SHA instructions.
bool Sha1UseImpl(ESha1Impl impl);

// Compresses n whole 64-byte blocks into state.
void Sha1BlocksPortable(uint32_t state[5], const uint8_t* data, size_t n);
void Sha1BlocksNi(uint32_t state[5], const uint8_t* data, size_t n);
