#include "common/serialization/basictypes.h"

bool CoverString2TVecChar(const std::string& text, TVecChar& out, bool truncate)
{
    size_t n = text.size();
    bool whole = true;
    if (n > kMaxCount) {
        if (!truncate)
            return false;
        n = kMaxCount;
        whole = false;
    }
    out.assign(text.begin(), text.begin() + n);
    return whole;
}

bool CoverString2TBigString(const std::string& text, TBigString& out)
{
    const size_t full = text.size() / kMaxCount;
    const size_t rest = text.size() % kMaxCount;
    const size_t pieces = full + (rest ? 1 : 0);
    if (pieces > kMaxCount)
        return false;
    out.reserve(out.size() + pieces);
    for (size_t i = 0; i < pieces; ++i) {
        const size_t from = i * kMaxCount;
        const size_t len = i < full ? kMaxCount : rest;
        out.emplace_back(text.begin() + from, text.begin() + from + len);
    }
    return true;
}

bool CoverTVecChar2String(const TVecChar& in, std::string& text)
{
    text.assign(in.begin(), in.end());
    return true;
}

void CoverTBigString2String(const TBigString& in, std::string& text)
{
    size_t total = text.size();
    for (const TVecChar& piece : in) total += piece.size();
    text.reserve(total);
    for (const TVecChar& piece : in) text.append(piece.begin(), piece.end());
}
