#include "common/crc/crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Pattern(size_t len)
{
    std::vector<uint8_t> v(len);
    uint32_t x = 12345;
    for (auto& b : v) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    return v;
}

uint32_t ZlibCrc(const uint8_t* p, size_t len)
{
    return static_cast<uint32_t>(crc32(0L, p, static_cast<uInt>(len)));
}

TEST(Crc32, CheckValue)
{
    const char* digits = "123456789";
    EXPECT_EQ(0xCBF43926u,
              Crc32Buffer(reinterpret_cast<const uint8_t*>(digits), 9, 0xFFFFFFFFu, false));
}

TEST(Crc32, EmptyBufferLeavesTheRegister)
{
    const uint8_t dummy = 0;
    EXPECT_EQ(0x12345678u, Crc32Buffer(&dummy, 0, 0x12345678u, true));
    EXPECT_EQ(~0x12345678u, Crc32Buffer(&dummy, 0, 0x12345678u, false));
    EXPECT_EQ(0u, Crc32Buffer(nullptr, 0, 0xFFFFFFFFu, false));
}

// zlib as the oracle, for every length and start alignment around the
// eight-byte steps.
TEST(Crc32, MatchesZlib)
{
    const std::vector<uint8_t> data = Pattern(5000);
    for (size_t start = 0; start < 8; ++start) {
        for (size_t len = 0; len < 80; ++len)
            ASSERT_EQ(ZlibCrc(&data[start], len),
                      Crc32Buffer(&data[start], static_cast<uint32_t>(len), 0xFFFFFFFFu, false))
                << start << " " << len;
    }
    EXPECT_EQ(ZlibCrc(data.data(), data.size()),
              Crc32Buffer(data.data(), static_cast<uint32_t>(data.size()), 0xFFFFFFFFu, false));
}

TEST(Crc32, PiecesGiveTheWholeValue)
{
    const std::vector<uint8_t> data = Pattern(300);
    const uint32_t whole = Crc32Buffer(data.data(), 300, 0xFFFFFFFFu, false);
    for (uint32_t cut = 0; cut <= 300; ++cut) {
        uint32_t reg = Crc32Buffer(data.data(), cut, 0xFFFFFFFFu, true);
        EXPECT_EQ(whole, ~Crc32Buffer(&data[cut], 300 - cut, reg, true)) << cut;
        EXPECT_EQ(whole, Crc32Buffer(&data[cut], 300 - cut, reg, false)) << cut;
    }
}

// The implementations the program can run here; the table method always.
struct TCrcImpl {
    const char* name;
    uint32_t (*fn)(const uint8_t*, uint32_t, uint32_t, bool);
};

std::vector<TCrcImpl> Implementations()
{
    std::vector<TCrcImpl> impls = {{"dispatch", Crc32Buffer}, {"table", Crc32BufferTable}};
    if (Crc32ClmulAvailable())
        impls.push_back({"clmul", Crc32BufferClmul});
    if (Crc32WideClmulAvailable())
        impls.push_back({"wide clmul", Crc32BufferWideClmul});
    return impls;
}

TEST(Crc32, EachImplementationMatchesZlib)
{
    const char* digits = "123456789";
    const std::vector<uint8_t> data = Pattern(70000);
    for (const TCrcImpl& impl : Implementations()) {
        SCOPED_TRACE(impl.name);
        EXPECT_EQ(0xCBF43926u,
                  impl.fn(reinterpret_cast<const uint8_t*>(digits), 9, 0xFFFFFFFFu, false));
        EXPECT_EQ(0x12345678u, impl.fn(nullptr, 0, 0x12345678u, true));
        for (size_t len : {size_t(1), size_t(15), size_t(16), size_t(31), size_t(32), size_t(63),
                           size_t(64), size_t(65), size_t(1000), data.size()})
            EXPECT_EQ(ZlibCrc(data.data(), len),
                      impl.fn(data.data(), static_cast<uint32_t>(len), 0xFFFFFFFFu, false))
                << len;
    }
}

// Every length up to 4 KiB at every misalignment from a 16-byte boundary,
// from a start register that changes with the case, raw and complemented,
// against the portable table method.
TEST(Crc32, ImplementationsAgreeOnEveryLengthAndAlignment)
{
    alignas(16) static uint8_t buf[16 + 4096];
    const std::vector<uint8_t> data = Pattern(sizeof buf);
    std::copy(data.begin(), data.end(), buf);
    for (const TCrcImpl& impl : Implementations()) {
        SCOPED_TRACE(impl.name);
        uint32_t reg = 0xFFFFFFFFu;
        for (uint32_t len = 0; len <= 4096; ++len) {
            for (size_t skew = 0; skew < 16; ++skew) {
                const bool raw = (len + skew) % 2 == 0;
                const uint32_t want = Crc32BufferTable(buf + skew, len, reg, raw);
                ASSERT_EQ(want, impl.fn(buf + skew, len, reg, raw))
                    << "length " << len << " skew " << skew;
                reg = reg * 2654435761u + len;
            }
        }
    }
}

class Crc32FileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_Data = Pattern(10000);
        FILE* f = fopen(m_strPath.c_str(), "wb");
        ASSERT_NE(nullptr, f);
        ASSERT_EQ(m_Data.size(), fwrite(m_Data.data(), 1, m_Data.size(), f));
        fclose(f);
    }
    void TearDown() override { remove(m_strPath.c_str()); }

    uint32_t Expected(size_t offset, size_t len) const
    {
        return ZlibCrc(m_Data.data() + offset, len);
    }

    std::string m_strPath = "crc32_test_region.bin";
    std::vector<uint8_t> m_Data;
};

TEST_F(Crc32FileTest, Regions)
{
    const struct {
        int32_t offset;
        uint32_t length;
        size_t from, count;  // the bytes whose CRC is expected
    } cases[] = {
        {0, 10000, 0, 10000},      // three chunks: 4096, 4096, 1808
        {9990, 100, 9990, 10},     // runs past the end
        {4095, 4098, 4095, 4098},  // straddles both chunk seams
        {0, 0xFFFFFFFFu, 0, 10000}, {123, 0, 0, 0}, {10000, 10, 0, 0}, {20000, 10, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.offset << "+" << c.length);
        EXPECT_EQ(Expected(c.from, c.count), Crc32File(m_strPath.c_str(), c.offset, c.length));
    }
}

TEST_F(Crc32FileTest, StreamSeeksFromTheStart)
{
    FILE* f = fopen(m_strPath.c_str(), "rb");
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(Expected(5000, 100), Crc32Stream(f, 5000, 100));
    EXPECT_EQ(Expected(10, 100), Crc32Stream(f, 10, 100));  // wherever the stream was left
    fclose(f);
}

// Nothing to read is the empty region's CRC, never the CRC of other bytes.
TEST_F(Crc32FileTest, UnreachableRegionsGiveZero)
{
    EXPECT_EQ(0u, Crc32File("crc32_test_no_such_file.bin", 0, 100));
    EXPECT_EQ(0u, Crc32File(nullptr, 0, 100));
    EXPECT_EQ(0u, Crc32File(m_strPath.c_str(), -1, 100));
    EXPECT_EQ(0u, Crc32Stream(nullptr, 0, 100));
}

}  // namespace
