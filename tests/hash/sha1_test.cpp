#include "qxnetengine/hash/sha1.h"

#include "support/hexbytes.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#ifdef QX_HAVE_OPENSSL
#include <openssl/sha.h>
#endif

namespace {

std::string Sha1Hex(const std::string& data)
{
    CSha1 sha;
    sha.Update(data.data(), data.size());
    uint8_t d[CSha1::kDigestLen];
    sha.Final(d);
    return DigestHex(d, sizeof(d));
}

// Runs a test once per compression implementation.
class Sha1Impl : public ::testing::TestWithParam<ESha1Impl> {
protected:
    void SetUp() override
    {
        m_Saved = Sha1ActiveImpl();
        if (!Sha1UseImpl(GetParam()))
            GTEST_SKIP() << "no SHA instructions on this processor";
    }
    void TearDown() override { Sha1UseImpl(m_Saved); }

private:
    ESha1Impl m_Saved = kSha1Portable;
};

INSTANTIATE_TEST_SUITE_P(Impl, Sha1Impl, ::testing::Values(kSha1Portable, kSha1Ni),
                         [](const ::testing::TestParamInfo<ESha1Impl>& info) {
                             return std::string(info.param == kSha1Ni ? "ShaNi" : "Portable");
                         });

// FIPS 180 examples.
TEST_P(Sha1Impl, PublishedExamples)
{
    EXPECT_EQ("a9993e364706816aba3e25717850c26c9cd0d89d", Sha1Hex("abc"));
    EXPECT_EQ("84983e441c3bd26ebaae4aa1f95129e5e54670f1",
              Sha1Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"));
    EXPECT_EQ("da39a3ee5e6b4b0d3255bfef95601890afd80709", Sha1Hex(""));
    EXPECT_EQ("34aa973cd4c4daa4f61eeb2bdbad27316534016f", Sha1Hex(std::string(1000000, 'a')));
}

// Feeding in pieces of any size gives the digest of the whole.
TEST_P(Sha1Impl, PiecesGiveTheWholeDigest)
{
    std::string data(200, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 31 + 7);
    const std::string whole = Sha1Hex(data);
    for (size_t step : {1, 3, 55, 56, 63, 64, 65, 130}) {
        CSha1 sha;
        for (size_t pos = 0; pos < data.size(); pos += step)
            sha.Update(data.data() + pos, std::min(step, data.size() - pos));
        uint8_t d[CSha1::kDigestLen];
        sha.Final(d);
        EXPECT_EQ(whole, DigestHex(d, sizeof(d))) << step;
    }
}

TEST(Sha1Impls, AgreeOnRandomData)
{
    if (!Sha1NiAvailable())
        GTEST_SKIP() << "no SHA instructions on this processor";
    std::mt19937 rng(5);
    for (size_t blocks = 1; blocks <= 5; ++blocks) {
        std::vector<uint8_t> data(64 * blocks);
        for (auto& b : data) b = static_cast<uint8_t>(rng());
        uint32_t a[5] = {1, 2, 3, 4, 5}, b[5] = {1, 2, 3, 4, 5};
        Sha1BlocksPortable(a, data.data(), blocks);
        Sha1BlocksNi(b, data.data(), blocks);
        EXPECT_EQ(std::vector<uint32_t>(a, a + 5), std::vector<uint32_t>(b, b + 5)) << blocks;
    }
}

#ifdef QX_HAVE_OPENSSL
TEST_P(Sha1Impl, MatchesOpenSsl)
{
    std::mt19937 rng(11);
    for (size_t len = 0; len <= 300; ++len) {
        std::string data(len, '\0');
        for (auto& ch : data) ch = static_cast<char>(rng());
        uint8_t d[SHA_DIGEST_LENGTH];
        SHA1(reinterpret_cast<const unsigned char*>(data.data()), len, d);
        ASSERT_EQ(DigestHex(d, sizeof(d)), Sha1Hex(data)) << len;
    }
}
#endif

}  // namespace
