#pragma once
// Cuts length-prefixed frames (a 32-bit little-endian length, then that many
// bytes) out of a received byte stream and hands each to its owner, the one
// discipline every connection uses:
// - a frame is handed over where it lies; bytes that arrive while a handler
//   runs (it pumped messages) wait in a late buffer and are cut after it;
// - a handler that throws loses its own frame only: the rest follow in order;
// - a frame the owner does not want is skipped as its bytes arrive, so
//   nothing beyond the frames it takes is ever held.

#include <cstddef>
#include <cstdint>
#include <string>

class IFrameOwner {
public:
    enum Verdict { kTake, kSkip, kClose };
    // What to do with a frame whose length field says len.
    virtual Verdict CheckFrameLen(uint32_t len) = 0;
    // One whole frame, without its length field; false closes the connection.
    virtual bool OnFrame(const char* data, uint32_t len) = 0;
    // True once the owner is released or closed: cutting stops.
    virtual bool IsCutStopped() = 0;

protected:
    ~IFrameOwner() {}
};

class CFrameCutter {
public:
    explicit CFrameCutter(IFrameOwner* owner) : m_pOwner(owner) {}

    // Copies received bytes in (the owner may then drop them from its socket).
    void Take(const char* data, size_t len);
    // Hands over every whole frame; false when the connection must close.
    // From inside a handler it does nothing: the outer cut takes the bytes.
    bool Cut();
    // Forgets everything held (the connection ended); safe inside a handler.
    void Reset();
    size_t Held() const { return m_strBuf.size() + m_strLate.size(); }

private:
    CFrameCutter(const CFrameCutter&) = delete;
    CFrameCutter& operator=(const CFrameCutter&) = delete;

    void Append(const char* data, size_t len);
    bool CutHeld();

    IFrameOwner* m_pOwner;
    std::string m_strBuf;   // does not move while a frame of it is handled
    std::string m_strLate;  // arrived while a handler ran
    uint64_t m_nSkip = 0;   // bytes of a skipped frame still to come
    bool m_bCutting = false;
    bool m_bReset = false;  // Reset from inside a handler
};
