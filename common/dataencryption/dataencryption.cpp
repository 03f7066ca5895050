#include "common/dataencryption/dataencryption.h"

#include "common/bytes/byteorder.h"
#include "common/dataencryption/aes.h"

#include <cstring>
#include <new>

namespace {

inline uint8_t* Bytes(std::string& s)
{
    return reinterpret_cast<uint8_t*>(&s[0]);
}

inline const uint8_t* Bytes(const char* p)
{
    return reinterpret_cast<const uint8_t*>(p);
}

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
    if (m_nKeyLen == 0 || static_cast<uint64_t>(len) > kMaxMessage)
        return std::string();
    const size_t total = (len + 4 + SEG_DATA_LEN - 1) / SEG_DATA_LEN * SEG_DATA_LEN;
    std::string out(total, '\0');
    uint8_t* block = Bytes(out);
    WriteU32LE(block, static_cast<uint32_t>(len));
    if (len)
        memcpy(block + 4, data, len);
    Rc4Xor(m_Rc4Start, block, total);
    AesEncryptBlocks(m_pSchedule.get(), block, block, total / SEG_DATA_LEN);
    return out;
}

std::string CDataEncryption::Decrypt(const std::string& in) const
{
    return Decrypt(in.data(), in.size());
}

std::string CDataEncryption::Decrypt(const char* data, size_t len) const
{
    if (m_nKeyLen == 0 || len < 4)
        return std::string();
    std::string out(len, '\0');
    uint8_t* block = Bytes(out);
    AesDecryptBlocks(m_pSchedule.get(), Bytes(data), block, len / SEG_DATA_LEN);
    Rc4Xor(m_Rc4Start, block, len);
    // Unsigned comparison: a hostile length field must never reach past the block.
    const uint32_t n = ReadU32LE(block);
    if (n > len - 4)
        return std::string();
    out.erase(0, 4);
    out.resize(n);
    return out;
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
