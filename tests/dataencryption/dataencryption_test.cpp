#include "common/dataencryption/dataencryption.h"
#include "cipher_test_support.h"

#include <thread>
#include <vector>

namespace {

class DataEncryption : public AesImpl {};
QX_INSTANTIATE_AES_IMPLS(DataEncryption);

std::string Pattern(size_t len)
{
    std::string s(len, '\0');
    for (size_t i = 0; i < len; ++i) s[i] = static_cast<char>(i * 7 + 3);
    return s;
}

// Cipher texts computed with an independent RC4 and AES (OpenSSL), key 00 01 02 ...
TEST_P(DataEncryption, KnownCipherTexts)
{
    struct Case {
        int keyLen;
        std::string message;
        const char* cipher;
    } cases[] = {
        {32, "", "2d5b61e65fb577a4bf242dc6ede4c42b"},
        {32, "abc", "0f849313e5efb68ec97a0656ef7211d0"},
        {32, "Hello, world!", "c1a5f166285fd6b14683df3b52f0f93f181cbf075b4f238eb0aeed8db320d388"},
        {16, "abc", "6ef9419d1c29168f46db07253f0e9a0a"},
        {24, "abc", "5490bf53fe9d3abfb5b71c1129c3029b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.keyLen << " \"" << c.message << "\"");
        CDataEncryption enc;
        ASSERT_TRUE(enc.SetKey(U8(CountingKey(c.keyLen)), c.keyLen));
        EXPECT_EQ(Hex(c.cipher), enc.Encrypt(c.message));
        EXPECT_EQ(c.message, enc.Decrypt(Hex(c.cipher)));
        // Fresh keystream and no chaining: the same message encrypts the same way again.
        EXPECT_EQ(Hex(c.cipher), enc.Encrypt(c.message));
    }
}

TEST_P(DataEncryption, CipherLengthIsPaddedBlock)
{
    CDataEncryption enc;
    ASSERT_TRUE(enc.SetKey(U8(CountingKey(32)), 32));
    const struct {
        size_t message, cipher;
    } cases[] = {{0, 16}, {1, 16}, {12, 16}, {13, 32}, {28, 32}, {29, 48}, {1020, 1024}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(c.cipher, enc.Encrypt(Pattern(c.message)).size());
    }
}

TEST_P(DataEncryption, RoundTripEveryLengthAndKeySize)
{
    for (int keyLen : {16, 24, 32}) {
        CDataEncryption enc;
        ASSERT_TRUE(enc.SetKey(U8(CountingKey(keyLen, 0x40)), keyLen));
        for (size_t len = 0; len <= 300; ++len) {
            const std::string m = Pattern(len);
            const std::string c = enc.Encrypt(m);
            ASSERT_EQ(m, enc.Decrypt(c)) << keyLen << " " << len;
            ASSERT_EQ(m, enc.Decrypt(c.data(), c.size())) << keyLen << " " << len;
        }
    }
}

// The kept-buffer forms reuse one buffer across messages of every length:
// whatever it held before must not leak into the next result.
TEST_P(DataEncryption, KeptBuffersGiveTheSameBytesAsFreshOnes)
{
    CDataEncryption enc;
    ASSERT_TRUE(enc.SetKey(U8(CountingKey(16, 0x40)), 16));
    std::string frame = "head", plain = std::string(5000, 'x');
    for (size_t len : {300, 0, 17, 1, 4000, 16, 12}) {
        const std::string m = Pattern(len);
        frame.resize(4);
        ASSERT_TRUE(enc.EncryptAppend(m.data(), m.size(), frame)) << len;
        EXPECT_EQ("head" + enc.Encrypt(m), frame) << len;
        ASSERT_TRUE(enc.DecryptInto(frame.data() + 4, frame.size() - 4, plain)) << len;
        EXPECT_EQ(m, plain) << len;
    }
    // Too short to hold a length: refused, the buffer emptied.
    EXPECT_FALSE(enc.DecryptInto(frame.data() + 4, 3, plain));
    EXPECT_TRUE(plain.empty());
    CDataEncryption keyless;
    std::string untouched = "keep";
    EXPECT_FALSE(keyless.EncryptAppend("m", 1, untouched));
    EXPECT_EQ("keep", untouched);
}

TEST_P(DataEncryption, SetKeyRejectsOtherLengthsAndKeepsTheKey)
{
    CDataEncryption enc;
    const std::string key = CountingKey(32);
    EXPECT_FALSE(enc.SetKey(U8(key), 16 + 4));  // nothing installed yet
    EXPECT_EQ("", enc.Encrypt("abc"));
    ASSERT_TRUE(enc.SetKey(U8(key), 32));
    const std::string before = enc.Encrypt("abc");
    for (int len : {0, 8, 15, 17, 20, 31, 33, 64, -16}) {
        SCOPED_TRACE(len);
        EXPECT_FALSE(enc.SetKey(U8(CountingKey(64, 0x80)), len));
        EXPECT_EQ(before, enc.Encrypt("abc"));
    }
    EXPECT_FALSE(enc.SetKey(nullptr, 32));
    EXPECT_EQ(before, enc.Encrypt("abc"));
    // A new key replaces the old one completely, RC4 and AES alike.
    ASSERT_TRUE(enc.SetKey(U8(key), 16));
    EXPECT_EQ(Hex("6ef9419d1c29168f46db07253f0e9a0a"), enc.Encrypt("abc"));
}

// Without a key there is nothing to encrypt with: empty results, no garbage.
TEST_P(DataEncryption, NoKeyGivesEmptyResults)
{
    CDataEncryption enc;
    const std::string block(32, 'x');
    EXPECT_EQ("", enc.Encrypt("abc"));
    EXPECT_EQ("", enc.Decrypt(block));
    EXPECT_EQ("", enc.EncryptSegments(block));
    EXPECT_EQ("", enc.DecryptSegments(block));
}

// Builds the cipher text whose decryption is exactly plain (a whole number of
// segments): RC4 is learnt from the public interface by decrypting the
// segments of an all-zero message of the same block length.
std::string CipherOfPlainBlock(const CDataEncryption& enc, const std::string& plain)
{
    const size_t len = plain.size();
    std::string keystream = enc.DecryptSegments(enc.Encrypt(std::string(len - 4, '\0')));
    const uint32_t n = static_cast<uint32_t>(len - 4);
    for (int k = 0; k < 4; ++k)
        keystream[k] = static_cast<char>(keystream[k] ^ static_cast<char>(n >> (8 * k)));
    std::string rc4(len, '\0');
    for (size_t i = 0; i < len; ++i) rc4[i] = static_cast<char>(keystream[i] ^ plain[i]);
    return enc.EncryptSegments(rc4);
}

std::string Block(uint32_t field, size_t len)
{
    std::string b = Pattern(len);
    for (int k = 0; k < 4; ++k) b[k] = static_cast<char>(field >> (8 * k));
    return b;
}

TEST_P(DataEncryption, DecryptChecksTheLengthField)
{
    CDataEncryption enc;
    ASSERT_TRUE(enc.SetKey(U8(CountingKey(32)), 32));
    const struct {
        uint32_t field;
        size_t block;
        bool accepted;
    } cases[] = {
        {12, 16, true},           {13, 16, false},          {0, 16, true},
        {28, 32, true},           {29, 32, false},          {0x7FFFFFFF, 16, false},
        {0x80000000u, 16, false}, {0xFFFFFFFFu, 32, false}, {0xFFFFFFFCu, 16, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.field << " in " << c.block);
        const std::string plain = Block(c.field, c.block);
        const std::string out = enc.Decrypt(CipherOfPlainBlock(enc, plain));
        if (c.accepted)
            EXPECT_EQ(plain.substr(4, c.field), out);  // padding bytes are not examined
        else
            EXPECT_EQ("", out);
    }
}

TEST_P(DataEncryption, DecryptOfShortOrRaggedInput)
{
    CDataEncryption enc;
    ASSERT_TRUE(enc.SetKey(U8(CountingKey(24)), 24));
    for (size_t len = 0; len < 4; ++len) EXPECT_EQ("", enc.Decrypt(std::string(len, 'z'))) << len;
    // A ragged tail is decrypted as zero bytes behind the message; the message survives.
    const std::string c = enc.Encrypt("ragged");
    EXPECT_EQ("ragged", enc.Decrypt(c + "xyz"));
    // A block cut short no longer holds the length it announces.
    const std::string longer = enc.Encrypt(Pattern(40));
    EXPECT_EQ("", enc.Decrypt(longer.substr(0, 20)));
}

// Encrypt and Decrypt keep no state of their own, so threads may share one key.
TEST_P(DataEncryption, ConcurrentUseGivesTheSameResults)
{
    CDataEncryption enc;
    ASSERT_TRUE(enc.SetKey(U8(CountingKey(32)), 32));
    const std::string m = Pattern(1000);
    const std::string expected = enc.Encrypt(m);
    std::vector<int> bad(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                std::string c = enc.Encrypt(m);
                if (c != expected || enc.Decrypt(c) != m)
                    ++bad[t];
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(std::vector<int>(4, 0), bad);
}

}  // namespace
