#pragma once

// Fixed-capacity byte buffer of a socket; the held bytes are always at the front.
class CSockBuffer {
public:
    explicit CSockBuffer(unsigned int capacity);
    ~CSockBuffer();

    char* Data() { return m_pData; }
    const char* Data() const { return m_pData; }
    unsigned int Length() const { return m_nUsed; }
    unsigned int Capacity() const { return m_nCapacity; }
    char* FreePtr() { return m_pData + m_nUsed; }
    unsigned int FreeSize() const { return m_nCapacity - m_nUsed; }

    bool Commit(unsigned int n);
    bool Append(const char* p, unsigned int n);
    void Reset() { m_nUsed = 0; }
    // Drops n bytes from the front. Consume(0) of a full buffer empties it, so
    // an owner that cannot consume anything never stalls the socket.
    void Consume(unsigned int n);

private:
    CSockBuffer(const CSockBuffer&) = delete;
    CSockBuffer& operator=(const CSockBuffer&) = delete;

    unsigned int m_nUsed;
    unsigned int m_nCapacity;
    char* m_pData;
};
