#pragma once
// Turns one message into an opaque block and back: a 4-byte little-endian
// length, the message, zero padding to whole 16-byte segments; then RC4 over
// the block and AES-ECB over each segment, both with the same key.

#include "common/dataencryption/rc4.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class CDataEncryption {
public:
    enum { SEG_DATA_LEN = 16 };

    CDataEncryption();
    ~CDataEncryption();
    CDataEncryption(const CDataEncryption&) = delete;
    CDataEncryption& operator=(const CDataEncryption&) = delete;

    // len 16, 24 or 32; anything else returns false and keeps the previous key.
    bool SetKey(const unsigned char* key, int len);

    // The cipher text of in: n + 4 bytes padded to a multiple of 16. Empty
    // when no key is set or the message is too long for its length field.
    std::string Encrypt(const std::string& in) const;
    std::string Encrypt(const char* data, size_t len) const;
    // The message inside in, or an empty string when the decrypted block
    // cannot hold the length it announces (or no key is set).
    std::string Decrypt(const std::string& in) const;
    std::string Decrypt(const char* data, size_t len) const;
    // The same into a buffer the caller keeps, so a steady stream of messages
    // allocates nothing: EncryptAppend adds the cipher text at the end of
    // out (false, out unchanged, where Encrypt gives an empty string);
    // DecryptInto replaces out with the message (false and out empty where
    // Decrypt gives an empty string for a bad block).
    bool EncryptAppend(const char* data, size_t len, std::string& out) const;
    bool DecryptInto(const char* data, size_t len, std::string& out) const;

    // AES over each whole segment into a result of the same length; a partial
    // last segment stays zero. Empty when no key is set.
    std::string EncryptSegments(const std::string& in) const;
    std::string DecryptSegments(const std::string& in) const;

private:
    unsigned char m_Key[32];
    std::unique_ptr<uint32_t[]> m_pSchedule;
    uint32_t m_nKeyLen;
    TRc4State m_Rc4Start;  // RC4 state right after scheduling m_Key
};
