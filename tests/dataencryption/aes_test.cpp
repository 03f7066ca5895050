#include "cipher_test_support.h"
#include "common/dataencryption/dataencryption.h"

#include <algorithm>
#include <random>
#include <vector>

namespace {

class AesSegments : public AesImpl {};
QX_INSTANTIATE_AES_IMPLS(AesSegments);

// FIPS-197 Appendix C, through the segment functions.
TEST_P(AesSegments, PublishedVectors)
{
    const std::string plain = Hex("00112233445566778899aabbccddeeff");
    struct Case {
        int keyLen;
        const char* cipher;
    } cases[] = {
        {16, "69c4e0d86a7b0430d8cdb78070b4c55a"},
        {24, "dda97ca4864cdfe06eaf70a0ec0d7191"},
        {32, "8ea2b7ca516745bfeafc49904b496089"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keyLen);
        CDataEncryption enc;
        ASSERT_TRUE(enc.SetKey(U8(CountingKey(c.keyLen)), c.keyLen));
        // Three copies: ECB gives three equal segments, on every block path.
        const std::string three = plain + plain + plain;
        const std::string cipher = Hex(c.cipher);
        EXPECT_EQ(cipher + cipher + cipher, enc.EncryptSegments(three));
        EXPECT_EQ(three, enc.DecryptSegments(cipher + cipher + cipher));
    }
}

TEST_P(AesSegments, PartialLastSegmentStaysZero)
{
    CDataEncryption enc;
    ASSERT_TRUE(enc.SetKey(U8(CountingKey(32)), 32));
    const std::string plain = Hex("00112233445566778899aabbccddeeff");
    const std::string expected = Hex("8ea2b7ca516745bfeafc49904b496089") + std::string(5, '\0');
    EXPECT_EQ(expected, enc.EncryptSegments(plain + "tail!"));
    EXPECT_EQ(std::string(7, '\0'), enc.EncryptSegments("1234567"));
    EXPECT_EQ(std::string(7, '\0'), enc.DecryptSegments("1234567"));
    EXPECT_EQ("", enc.EncryptSegments(""));
}

// The two implementations agree on random keys and every batch size the
// AES-NI path distinguishes (groups of four and the remainder).
TEST(AesImpls, AgreeOnRandomData)
{
    if (!AesNiAvailable())
        GTEST_SKIP() << "no AES-NI on this processor";
    std::mt19937 rng(7);
    for (int keyLen : {16, 24, 32}) {
        std::string key;
        for (int i = 0; i < keyLen; ++i) key.push_back(static_cast<char>(rng()));
        uint32_t sched[kAesScheduleWords];
        AesExpandKey(U8(key), keyLen, sched);
        for (size_t blocks = 0; blocks <= 9; ++blocks) {
            SCOPED_TRACE(::testing::Message() << keyLen << " " << blocks);
            std::vector<uint8_t> in(16 * blocks + 1), a(in.size()), b(in.size());
            for (auto& x : in) x = static_cast<uint8_t>(rng());
            AesEncryptBlocksTable(sched, in.data(), a.data(), blocks);
            AesEncryptBlocksNi(sched, in.data(), b.data(), blocks);
            EXPECT_EQ(a, b);
            AesDecryptBlocksTable(sched, a.data(), b.data(), blocks);
            AesDecryptBlocksNi(sched, a.data(), a.data(), blocks);  // in place
            EXPECT_EQ(a, b);
            EXPECT_TRUE(std::equal(in.begin(), in.begin() + 16 * blocks, a.begin()));
        }
    }
}

}  // namespace
