// Encrypt and Decrypt against the same composite built from OpenSSL's EVP
// calls: RC4 (legacy provider) re-keyed for every message, then AES-256-ECB.
#include "bench.h"
#include "common/bytes/byteorder.h"
#include "common/dataencryption/dataencryption.h"

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const unsigned char kKey[32] = {0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87, 0x98, 0xA9, 0xBA,
                                0xCB, 0xDC, 0xED, 0xFE, 0x0F, 0x01, 0x12, 0x23, 0x34, 0x45, 0x56,
                                0x67, 0x78, 0x89, 0x9A, 0xAB, 0xBC, 0xCD, 0xDE, 0xEF, 0xF0};

inline unsigned char* Bytes(std::string& s) { return reinterpret_cast<unsigned char*>(&s[0]); }

class COpenSslComposite {
public:
    COpenSslComposite()
    {
        OSSL_PROVIDER_load(nullptr, "legacy");
        OSSL_PROVIDER_load(nullptr, "default");
        EVP_CIPHER* rc4 = EVP_CIPHER_fetch(nullptr, "RC4", nullptr);
        if (!rc4) {
            std::fprintf(stderr, "OpenSSL's legacy provider (RC4) is not available\n");
            std::exit(1);
        }
        m_pRc4 = EVP_CIPHER_CTX_new();
        EVP_EncryptInit_ex(m_pRc4, rc4, nullptr, nullptr, nullptr);
        EVP_CIPHER_CTX_set_key_length(m_pRc4, 32);
        EVP_CIPHER_free(rc4);
        m_pAesEnc = EVP_CIPHER_CTX_new();
        EVP_EncryptInit_ex(m_pAesEnc, EVP_aes_256_ecb(), nullptr, kKey, nullptr);
        EVP_CIPHER_CTX_set_padding(m_pAesEnc, 0);
        m_pAesDec = EVP_CIPHER_CTX_new();
        EVP_DecryptInit_ex(m_pAesDec, EVP_aes_256_ecb(), nullptr, kKey, nullptr);
        EVP_CIPHER_CTX_set_padding(m_pAesDec, 0);
    }
    ~COpenSslComposite()
    {
        EVP_CIPHER_CTX_free(m_pRc4);
        EVP_CIPHER_CTX_free(m_pAesEnc);
        EVP_CIPHER_CTX_free(m_pAesDec);
    }

    std::string Encrypt(const std::string& m)
    {
        const size_t total = (m.size() + 4 + 15) / 16 * 16;
        std::string block(total, '\0');
        unsigned char* p = Bytes(block);
        const uint32_t n = static_cast<uint32_t>(m.size());
        WriteU32LE(p, n);
        std::memcpy(p + 4, m.data(), m.size());
        int len = 0;
        EVP_EncryptInit_ex(m_pRc4, nullptr, nullptr, kKey, nullptr);  // fresh keystream
        EVP_EncryptUpdate(m_pRc4, p, &len, p, static_cast<int>(total));
        EVP_EncryptUpdate(m_pAesEnc, p, &len, p, static_cast<int>(total));
        return block;
    }

    std::string Decrypt(const std::string& c)
    {
        std::string block(c.size(), '\0');
        unsigned char* p = Bytes(block);
        int len = 0;
        EVP_DecryptUpdate(m_pAesDec, p, &len, reinterpret_cast<const unsigned char*>(c.data()),
                          static_cast<int>(c.size()));
        EVP_EncryptInit_ex(m_pRc4, nullptr, nullptr, kKey, nullptr);
        EVP_EncryptUpdate(m_pRc4, p, &len, p, static_cast<int>(c.size()));
        const uint32_t n = ReadU32LE(p);
        if (c.size() < 4 || n > c.size() - 4)
            return std::string();
        block.erase(0, 4);
        block.resize(n);
        return block;
    }

private:
    EVP_CIPHER_CTX* m_pRc4;
    EVP_CIPHER_CTX* m_pAesEnc;
    EVP_CIPHER_CTX* m_pAesDec;
};

std::string Message(size_t len)
{
    std::string m(len, '\0');
    for (size_t i = 0; i < len; ++i) m[i] = static_cast<char>(i * 131 + 17);
    return m;
}

CDataEncryption& Ours()
{
    static CDataEncryption enc;
    static bool keyed = enc.SetKey(kKey, 32);
    (void)keyed;
    return enc;
}

COpenSslComposite& Theirs()
{
    static COpenSslComposite ossl;
    return ossl;
}

template <typename Fn>
void Run(benchmark::State& state, size_t len, Fn fn)
{
    for (auto _ : state) {
        std::string out = fn();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(len));
}

}  // namespace

void RegisterDataEncryptionBenchmarks()
{
    if (Theirs().Encrypt("check") != Ours().Encrypt("check")) {
        std::fprintf(stderr, "the OpenSSL composite disagrees with CDataEncryption\n");
        std::exit(1);
    }
    for (size_t len : {16, 64, 1024, 16384}) {
        const std::string size = SizeText(len);
        const std::string m = Message(len);
        const std::string c = Ours().Encrypt(m);
        RegisterPair(
            "Encrypt", size,
            [m, len](benchmark::State& st) { Run(st, len, [&] { return Ours().Encrypt(m); }); },
            [m, len](benchmark::State& st) { Run(st, len, [&] { return Theirs().Encrypt(m); }); },
            "OpenSSL EVP RC4+AES-256-ECB");
        RegisterPair(
            "Decrypt", size,
            [c, len](benchmark::State& st) { Run(st, len, [&] { return Ours().Decrypt(c); }); },
            [c, len](benchmark::State& st) { Run(st, len, [&] { return Theirs().Decrypt(c); }); },
            "OpenSSL EVP RC4+AES-256-ECB");
    }
}
