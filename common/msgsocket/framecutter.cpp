#include "common/msgsocket/framecutter.h"

#include "common/bytes/byteorder.h"

#include <algorithm>

void CFrameCutter::Take(const char* data, size_t len)
{
    if (m_bCutting)
        m_strLate.append(data, len);
    else
        Append(data, len);
}

bool CFrameCutter::Cut()
{
    if (m_bCutting)
        return true;
    m_bCutting = true;
    m_bReset = false;
    const bool ok = CutHeld();
    m_bCutting = false;
    return ok;
}

void CFrameCutter::Reset()
{
    m_strLate.clear();
    m_nSkip = 0;
    if (m_bCutting)
        m_bReset = true;  // the frame being handled still lies in m_strBuf
    else
        m_strBuf.clear();
}

void CFrameCutter::Append(const char* data, size_t len)
{
    const size_t drop = static_cast<size_t>(std::min<uint64_t>(m_nSkip, len));
    m_nSkip -= drop;
    m_strBuf.append(data + drop, len - drop);
}

bool CFrameCutter::CutHeld()
{
    size_t at = 0;
    for (;;) {
        const size_t held = m_strBuf.size() - at;
        if (held >= 4) {
            const char* frame = m_strBuf.data() + at;
            const uint32_t len = ReadU32LE(frame);
            const uint64_t whole = static_cast<uint64_t>(len) + 4;
            const IFrameOwner::Verdict verdict = m_pOwner->CheckFrameLen(len);
            if (verdict == IFrameOwner::kClose) {
                m_strBuf.erase(0, at);
                return false;
            }
            if (verdict == IFrameOwner::kSkip) {
                if (whole > held) {
                    m_nSkip = whole - held;
                    at = m_strBuf.size();
                } else {
                    at += static_cast<size_t>(whole);
                }
                continue;
            }
            if (whole <= held) {
                at += static_cast<size_t>(whole);
                bool ok = true;
                try {
                    ok = m_pOwner->OnFrame(frame + 4, len);
                } catch (...) {
                    ok = true;  // that frame is lost, not the ones behind it
                }
                if (m_bReset) {
                    m_strBuf.clear();
                    m_bReset = false;
                    return ok;
                }
                if (!ok) {
                    m_strBuf.erase(0, at);
                    return false;
                }
                if (m_pOwner->IsCutStopped()) {
                    m_strBuf.erase(0, at);
                    return true;
                }
                continue;
            }
        }
        // Handled frames leave in one move, not one move per frame.
        m_strBuf.erase(0, at);
        at = 0;
        if (m_strLate.empty())
            return true;
        std::string late;
        late.swap(m_strLate);
        Append(late.data(), late.size());
    }
}
