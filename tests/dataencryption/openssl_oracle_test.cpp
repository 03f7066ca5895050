// OpenSSL as an independent oracle: RC4 (legacy provider) over the plain
// block, then AES-ECB, a fresh RC4 context per message.
#ifdef QX_HAVE_OPENSSL

#include "cipher_test_support.h"
#include "common/dataencryption/dataencryption.h"

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <random>

namespace {

class COpenSslComposite {
public:
    COpenSslComposite()
        : m_pLegacy(OSSL_PROVIDER_load(nullptr, "legacy")),
          m_pDefault(OSSL_PROVIDER_load(nullptr, "default")),
          m_pRc4(EVP_CIPHER_fetch(nullptr, "RC4", nullptr))
    {
    }
    ~COpenSslComposite()
    {
        EVP_CIPHER_free(m_pRc4);
        if (m_pDefault)
            OSSL_PROVIDER_unload(m_pDefault);
        if (m_pLegacy)
            OSSL_PROVIDER_unload(m_pLegacy);
    }
    bool Ready() const { return m_pRc4 != nullptr; }

    std::string Encrypt(const std::string& key, const std::string& m) const
    {
        const size_t total = (m.size() + 4 + 15) / 16 * 16;
        std::string block(total, '\0');
        for (int k = 0; k < 4; ++k) block[k] = static_cast<char>(m.size() >> (8 * k));
        block.replace(4, m.size(), m);
        std::string rc4(total, '\0'), out(total, '\0');
        int len = 0;
        EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
        EXPECT_EQ(1, EVP_EncryptInit_ex(ctx, m_pRc4, nullptr, nullptr, nullptr));
        EXPECT_EQ(1, EVP_CIPHER_CTX_set_key_length(ctx, static_cast<int>(key.size())));
        EXPECT_EQ(1, EVP_EncryptInit_ex(ctx, nullptr, nullptr, U8(key), nullptr));
        EXPECT_EQ(1, EVP_EncryptUpdate(ctx, Out(rc4), &len, U8(block), static_cast<int>(total)));
        const EVP_CIPHER* aes = key.size() == 16   ? EVP_aes_128_ecb()
                                : key.size() == 24 ? EVP_aes_192_ecb()
                                                   : EVP_aes_256_ecb();
        EXPECT_EQ(1, EVP_EncryptInit_ex(ctx, aes, nullptr, U8(key), nullptr));
        EVP_CIPHER_CTX_set_padding(ctx, 0);
        EXPECT_EQ(1, EVP_EncryptUpdate(ctx, Out(out), &len, U8(rc4), static_cast<int>(total)));
        EVP_CIPHER_CTX_free(ctx);
        return out;
    }

private:
    static unsigned char* Out(std::string& s) { return reinterpret_cast<unsigned char*>(&s[0]); }

    OSSL_PROVIDER* m_pLegacy;
    OSSL_PROVIDER* m_pDefault;
    EVP_CIPHER* m_pRc4;
};

class OpenSslOracle : public AesImpl {};
QX_INSTANTIATE_AES_IMPLS(OpenSslOracle);

TEST_P(OpenSslOracle, RandomKeysAndEveryLengthUpTo300)
{
    COpenSslComposite ossl;
    ASSERT_TRUE(ossl.Ready()) << "OpenSSL's legacy provider (RC4) could not be loaded";
    std::mt19937 rng(2024);
    for (int keyLen : {16, 24, 32}) {
        for (int round = 0; round < 3; ++round) {
            std::string key(static_cast<size_t>(keyLen), '\0');
            for (auto& ch : key) ch = static_cast<char>(rng());
            CDataEncryption enc;
            ASSERT_TRUE(enc.SetKey(U8(key), keyLen));
            for (size_t len = 0; len <= 300; ++len) {
                std::string m(len, '\0');
                for (auto& ch : m) ch = static_cast<char>(rng());
                const std::string c = enc.Encrypt(m);
                ASSERT_EQ(ossl.Encrypt(key, m), c) << keyLen << " " << len;
                ASSERT_EQ(m, enc.Decrypt(c)) << keyLen << " " << len;
            }
        }
    }
}

}  // namespace

#endif
