#pragma once
// The growable byte buffer that every sender builds its packages and frames
// in: inline storage first, one heap block of exactly the needed size once
// that is too small, never shrunk, so steady traffic builds without allocating.

#include <cstdint>

class CPkgBufferBase {
public:
    // Grows to exactly size when above the capacity, keeping the bytes held.
    // False when that memory cannot be had; the buffer is then unchanged.
    bool Reserve(uint32_t size);
    bool Append(const void* bytes, uint32_t n);
    bool AppendU32LE(uint32_t value);
    void Reset() { m_nLength = 0; }

    const char* GetData() const { return m_pData; }
    uint32_t GetLength() const { return m_nLength; }
    uint32_t GetCapacity() const { return m_nCapacity; }
    bool IsInline() const { return m_pData == m_pInline; }

protected:
    // inlineArea belongs to the derived object and outlives this part of it.
    CPkgBufferBase(char* inlineArea, uint32_t inlineSize)
        : m_nCapacity(inlineSize), m_pInline(inlineArea), m_pData(inlineArea), m_nLength(0)
    {
    }
    ~CPkgBufferBase();

private:
    CPkgBufferBase(const CPkgBufferBase&) = delete;
    CPkgBufferBase& operator=(const CPkgBufferBase&) = delete;

    uint32_t m_nCapacity;
    char* m_pInline;
    char* m_pData;
    uint32_t m_nLength;
};

template <uint32_t N>
class CInlinePkgBuffer : public CPkgBufferBase {
public:
    static constexpr uint32_t kInlineSize = N;
    CInlinePkgBuffer() : CPkgBufferBase(m_Inline, N) {}

private:
    char m_Inline[N];
};

// The buffer of the in-process senders.
typedef CInlinePkgBuffer<1024> CPkgBuffer;

// Builds a package in buffer: the body's length as 4 bytes little-endian,
// then the body. False when the package cannot be built (too large or out of
// memory).
bool BuildPkg(CPkgBufferBase& buffer, const char* body, uint32_t len);

// Lends an owner's buffer for one package. A handler that sends back through
// the same owner while the package built there is still being read further
// up the stack gets a buffer of the lease's own, so the one being read is
// never overwritten or freed. busy marks the owner's buffer as lent.
class CPkgBufferLease {
public:
    CPkgBufferLease(CPkgBufferBase& shared, bool& busy)
        : m_pBusy(busy ? nullptr : &busy), m_Buffer(busy ? m_Own : shared)
    {
        if (m_pBusy)
            *m_pBusy = true;
    }
    ~CPkgBufferLease()
    {
        if (m_pBusy)
            *m_pBusy = false;
    }
    CPkgBufferBase& Get() { return m_Buffer; }

private:
    CPkgBufferLease(const CPkgBufferLease&) = delete;
    CPkgBufferLease& operator=(const CPkgBufferLease&) = delete;

    bool* m_pBusy;  // set when the owner's buffer was lent
    CPkgBuffer m_Own;
    CPkgBufferBase& m_Buffer;
};
