#include "common/dataencryption/dataencryption.h"

#include "common/bytes/byteorder.h"
#include "common/dataencryption/aes.h"

#include <cstring>
#include <new>

namespace {

inline uint8_t* Bytes(std::string& s) { return reinterpret_cast<uint8_t*>(&s[0]); }

inline const uint8_t* Bytes(const char* p) { return reinterpret_cast<const uint8_t*>(p); }

// RC4 and AES alternate over pieces of this size, so the AES work on one
// piece overlaps the byte-serial RC4 work on the next.
const size_t kPiece = 256;

// Longest message whose padded block still fits the 32-bit length field.
const uint64_t kMaxMessage = 0xFFFFFFFFull - 4 - 15;

}  // namespace

CDataEncryption::CDataEncryption()
    : m_Key(),
      m_pSchedule(new (std::nothrow) uint32_t[kAesScheduleWords]()),
      m_nKeyLen(0),
      m_Rc4Start()
{
}

CDataEncryption::~CDataEncryption() {}

bool CDataEncryption::SetKey(const unsigned char* key, int len)
{
    if (!m_pSchedule || !key || (len != 16 && len != 24 && len != 32))
        return false;
    memcpy(m_Key, key, static_cast<size_t>(len));
    m_nKeyLen = static_cast<uint32_t>(len);
    AesExpandKey(m_Key, len, m_pSchedule.get());
    Rc4Schedule(m_Key, m_nKeyLen, &m_Rc4Start);
    return true;
}

std::string CDataEncryption::Encrypt(const std::string& in) const
{
    return Encrypt(in.data(), in.size());
}

std::string CDataEncryption::Encrypt(const char* data, size_t len) const
{
    std::string out;
    EncryptAppend(data, len, out);
    return out;
}

bool CDataEncryption::EncryptAppend(const char* data, size_t len, std::string& out) const
{
    if (m_nKeyLen == 0 || static_cast<uint64_t>(len) > kMaxMessage)
        return false;
    const size_t total = (len + 4 + SEG_DATA_LEN - 1) / SEG_DATA_LEN * SEG_DATA_LEN;
    const size_t at = out.size();
    out.resize(at + total);
    uint8_t* block = Bytes(out) + at;
    WriteU32LE(block, static_cast<uint32_t>(len));
    if (len)
        memcpy(block + 4, data, len);
    memset(block + 4 + len, 0, total - 4 - len);
    CRc4Stream rc4(m_Rc4Start);
    for (size_t off = 0; off < total; off += kPiece) {
        const size_t piece = total - off < kPiece ? total - off : kPiece;
        rc4.Xor(block + off, piece);
        AesEncryptBlocks(m_pSchedule.get(), block + off, block + off, piece / SEG_DATA_LEN);
    }
    return true;
}

std::string CDataEncryption::Decrypt(const std::string& in) const
{
    return Decrypt(in.data(), in.size());
}

std::string CDataEncryption::Decrypt(const char* data, size_t len) const
{
    std::string out;
    DecryptInto(data, len, out);
    return out;
}

bool CDataEncryption::DecryptInto(const char* data, size_t len, std::string& out) const
{
    out.clear();
    if (m_nKeyLen == 0 || len < 4)
        return false;
    out.resize(len);
    uint8_t* block = Bytes(out);
    // Segments are decrypted one piece ahead of the RC4 pass; a partial last
    // segment stays zero and still goes through RC4.
    const size_t segments = len / SEG_DATA_LEN;
    const size_t perPiece = kPiece / SEG_DATA_LEN;
    memset(block + segments * SEG_DATA_LEN, 0, len - segments * SEG_DATA_LEN);
    AesDecryptBlocks(m_pSchedule.get(), Bytes(data), block,
                     segments < perPiece ? segments : perPiece);
    CRc4Stream rc4(m_Rc4Start);
    for (size_t off = 0; off < len; off += kPiece) {
        const size_t next = off / SEG_DATA_LEN + perPiece;
        if (next < segments) {
            const size_t n = segments - next < perPiece ? segments - next : perPiece;
            AesDecryptBlocks(m_pSchedule.get(), Bytes(data) + next * SEG_DATA_LEN,
                             block + next * SEG_DATA_LEN, n);
        }
        rc4.Xor(block + off, len - off < kPiece ? len - off : kPiece);
    }
    // Unsigned comparison: a hostile length field must never reach past the block.
    const uint32_t n = ReadU32LE(block);
    if (n > len - 4) {
        out.clear();
        return false;
    }
    out.erase(0, 4);
    out.resize(n);
    return true;
}

std::string CDataEncryption::EncryptSegments(const std::string& in) const
{
    if (m_nKeyLen == 0)
        return std::string();
    std::string out(in.size(), '\0');
    if (!in.empty())
        AesEncryptBlocks(m_pSchedule.get(), Bytes(in.data()), Bytes(out), in.size() / SEG_DATA_LEN);
    return out;
}

std::string CDataEncryption::DecryptSegments(const std::string& in) const
{
    if (m_nKeyLen == 0)
        return std::string();
    std::string out(in.size(), '\0');
    if (!in.empty())
        AesDecryptBlocks(m_pSchedule.get(), Bytes(in.data()), Bytes(out), in.size() / SEG_DATA_LEN);
    return out;
}
