#pragma once
// The gate's message cipher built from OpenSSL's EVP calls, as a baseline:
// a 4-byte little-endian length, the message, zero padding to 16 bytes;
// RC4 (legacy provider) re-keyed for every message over the block, then
// AES-256-ECB over each segment, both with the same 32-byte key. One
// instance per thread: the EVP contexts are not shared.

#include <openssl/evp.h>

#include <cstddef>
#include <string>

class COpenSslGateCipher {
public:
    explicit COpenSslGateCipher(const unsigned char key[32]);
    ~COpenSslGateCipher();

    // Appends the cipher text of data to out.
    void EncryptAppend(const char* data, size_t len, std::string& out);
    // Replaces out with the message inside the block; false (out empty) when
    // the block cannot hold the length it announces.
    bool DecryptInto(const char* data, size_t len, std::string& out);

    std::string Encrypt(const std::string& m);
    std::string Decrypt(const std::string& c);

private:
    COpenSslGateCipher(const COpenSslGateCipher&) = delete;
    COpenSslGateCipher& operator=(const COpenSslGateCipher&) = delete;

    unsigned char m_Key[32];
    EVP_CIPHER_CTX* m_pRc4;
    EVP_CIPHER_CTX* m_pAesEnc;
    EVP_CIPHER_CTX* m_pAesDec;
};
