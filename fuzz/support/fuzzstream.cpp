#include "support/fuzzstream.h"

#include "common/bytes/byteorder.h"

TFuzzStream ReadFuzzStream(const uint8_t* data, size_t size)
{
    TFuzzStream s;
    if (size < 2)
        return s;
    s.cutSeed = ReadU16LE(data);
    size_t at = 2;
    while (at + 3 <= size) {
        TFuzzRecord r;
        r.kind = data[at];
        size_t len = ReadU16LE(data + at + 1);
        at += 3;
        if (len > size - at)
            len = size - at;
        r.data.assign(reinterpret_cast<const char*>(data + at), len);
        at += len;
        s.records.push_back(r);
    }
    return s;
}

std::string WriteFuzzStream(const TFuzzStream& stream)
{
    std::string out(2, '\0');
    WriteU16LE(&out[0], stream.cutSeed);
    for (const TFuzzRecord& r : stream.records) {
        char head[3];
        head[0] = static_cast<char>(r.kind);
        WriteU16LE(head + 1, static_cast<uint16_t>(r.data.size()));
        out.append(head, 3);
        out += r.data;
    }
    return out;
}

size_t CPieceCutter::Next()
{
    if (m_bWhole)
        return 1024;
    m_nState = m_nState * 1103515245u + 12345u;
    // Small pieces are as likely as large ones: first a bit length, then a size.
    uint32_t limit = 1u << ((m_nState >> 8) % 11);
    return 1 + (m_nState >> 16) % limit;
}

std::vector<std::string> CutPieces(const std::string& bytes, CPieceCutter& cutter)
{
    std::vector<std::string> pieces;
    for (size_t at = 0; at < bytes.size();) {
        size_t n = cutter.Next();
        if (n > bytes.size() - at)
            n = bytes.size() - at;
        pieces.push_back(bytes.substr(at, n));
        at += n;
    }
    return pieces;
}
