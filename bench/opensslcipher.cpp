#include "opensslcipher.h"

#include "common/bytes/byteorder.h"

#include <openssl/provider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

inline unsigned char* Bytes(std::string& s) { return reinterpret_cast<unsigned char*>(&s[0]); }

EVP_CIPHER* FetchRc4()
{
    // The providers stay loaded for the whole program.
    static const bool loaded =
        OSSL_PROVIDER_load(nullptr, "legacy") && OSSL_PROVIDER_load(nullptr, "default");
    EVP_CIPHER* rc4 = loaded ? EVP_CIPHER_fetch(nullptr, "RC4", nullptr) : nullptr;
    if (!rc4) {
        std::fprintf(stderr, "OpenSSL's legacy provider (RC4) is not available\n");
        std::exit(1);
    }
    return rc4;
}

}  // namespace

COpenSslGateCipher::COpenSslGateCipher(const unsigned char key[32])
{
    std::memcpy(m_Key, key, sizeof m_Key);
    EVP_CIPHER* rc4 = FetchRc4();
    m_pRc4 = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(m_pRc4, rc4, nullptr, nullptr, nullptr);
    EVP_CIPHER_CTX_set_key_length(m_pRc4, 32);
    EVP_CIPHER_free(rc4);
    m_pAesEnc = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(m_pAesEnc, EVP_aes_256_ecb(), nullptr, m_Key, nullptr);
    EVP_CIPHER_CTX_set_padding(m_pAesEnc, 0);
    m_pAesDec = EVP_CIPHER_CTX_new();
    EVP_DecryptInit_ex(m_pAesDec, EVP_aes_256_ecb(), nullptr, m_Key, nullptr);
    EVP_CIPHER_CTX_set_padding(m_pAesDec, 0);
}

COpenSslGateCipher::~COpenSslGateCipher()
{
    EVP_CIPHER_CTX_free(m_pRc4);
    EVP_CIPHER_CTX_free(m_pAesEnc);
    EVP_CIPHER_CTX_free(m_pAesDec);
}

void COpenSslGateCipher::EncryptAppend(const char* data, size_t len, std::string& out)
{
    const size_t total = (len + 4 + 15) / 16 * 16;
    const size_t at = out.size();
    out.resize(at + total);
    unsigned char* p = Bytes(out) + at;
    WriteU32LE(p, static_cast<uint32_t>(len));
    if (len)
        std::memcpy(p + 4, data, len);
    std::memset(p + 4 + len, 0, total - 4 - len);
    int n = 0;
    EVP_EncryptInit_ex(m_pRc4, nullptr, nullptr, m_Key, nullptr);  // fresh keystream
    EVP_EncryptUpdate(m_pRc4, p, &n, p, static_cast<int>(total));
    EVP_EncryptUpdate(m_pAesEnc, p, &n, p, static_cast<int>(total));
}

bool COpenSslGateCipher::DecryptInto(const char* data, size_t len, std::string& out)
{
    out.resize(len);
    unsigned char* p = Bytes(out);
    int n = 0;
    // A partial last segment is not AES output: it stays zero, as in the engine.
    const size_t whole = len / 16 * 16;
    std::memset(p + whole, 0, len - whole);
    if (whole)
        EVP_DecryptUpdate(m_pAesDec, p, &n, reinterpret_cast<const unsigned char*>(data),
                          static_cast<int>(whole));
    EVP_EncryptInit_ex(m_pRc4, nullptr, nullptr, m_Key, nullptr);
    EVP_EncryptUpdate(m_pRc4, p, &n, p, static_cast<int>(len));
    const uint32_t m = len >= 4 ? ReadU32LE(p) : 0;
    if (len < 4 || m > len - 4) {
        out.clear();
        return false;
    }
    out.erase(0, 4);
    out.resize(m);
    return true;
}

std::string COpenSslGateCipher::Encrypt(const std::string& m)
{
    std::string out;
    EncryptAppend(m.data(), m.size(), out);
    return out;
}

std::string COpenSslGateCipher::Decrypt(const std::string& c)
{
    std::string out;
    DecryptInto(c.data(), c.size(), out);
    return out;
}
