#pragma once
// A growable byte buffer for building packages and frames: inline storage
// first, one heap block of exactly the needed size once that is too small.

#include <cstdint>

class CPkgBuffer {
public:
    static constexpr uint32_t kInlineSize = 1024;

    CPkgBuffer() : m_nCapacity(kInlineSize), m_pData(m_Inline), m_nLength(0) {}
    ~CPkgBuffer();

    // Grows to exactly size when above the capacity, keeping the bytes held.
    // False when that memory cannot be had; the buffer is then unchanged.
    bool Reserve(uint32_t size);
    bool Append(const void* bytes, uint32_t n);
    void Reset() { m_nLength = 0; }

    const char* GetData() const { return m_pData; }
    uint32_t GetLength() const { return m_nLength; }
    uint32_t GetCapacity() const { return m_nCapacity; }
    bool IsInline() const { return m_pData == m_Inline; }

private:
    CPkgBuffer(const CPkgBuffer&) = delete;
    CPkgBuffer& operator=(const CPkgBuffer&) = delete;

    uint32_t m_nCapacity;
    char m_Inline[kInlineSize];
    char* m_pData;
    uint32_t m_nLength;
};

// Builds a package in buffer: the body's length as 4 bytes little-endian,
// then the body. False when the package cannot be built (too large or out of
// memory).
bool BuildPkg(CPkgBuffer& buffer, const char* body, uint32_t len);
