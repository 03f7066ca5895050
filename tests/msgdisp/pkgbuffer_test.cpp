#include "common/msgdisp/pkgbuffer.h"
#include "support/hexbytes.h"

#include <string>

#include <gtest/gtest.h>

namespace {

std::string Held(const CPkgBuffer& buffer)
{
    return std::string(buffer.GetData(), buffer.GetLength());
}

TEST(PkgBuffer, StaysInlineUpTo1024Bytes)
{
    CPkgBuffer buffer;
    EXPECT_EQ(1024u, buffer.GetCapacity());
    EXPECT_EQ(0u, buffer.GetLength());
    EXPECT_TRUE(buffer.Reserve(1024));
    EXPECT_TRUE(buffer.Append(std::string(1000, 'a').data(), 1000));
    EXPECT_TRUE(buffer.Append(std::string(24, 'b').data(), 24));
    EXPECT_TRUE(buffer.IsInline());
    EXPECT_EQ(1024u, buffer.GetLength());
}

TEST(PkgBuffer, GrowsToExactlyTheSizeAndKeepsTheBytes)
{
    CPkgBuffer buffer;
    EXPECT_TRUE(buffer.Append("head", 4));
    EXPECT_TRUE(buffer.Reserve(2000));
    EXPECT_FALSE(buffer.IsInline());
    EXPECT_EQ(2000u, buffer.GetCapacity());
    EXPECT_EQ("head", Held(buffer));

    // Append grows by itself, from the heap block this time.
    std::string more(2500, 'm');
    EXPECT_TRUE(buffer.Append(more.data(), 2500));
    EXPECT_EQ(2504u, buffer.GetCapacity());
    EXPECT_EQ("head" + more, Held(buffer));

    // Reset keeps the storage; smaller needs never shrink it.
    buffer.Reset();
    EXPECT_EQ(0u, buffer.GetLength());
    EXPECT_TRUE(buffer.Reserve(10));
    EXPECT_EQ(2504u, buffer.GetCapacity());
    EXPECT_TRUE(buffer.Append(nullptr, 0));
    EXPECT_EQ(0u, buffer.GetLength());
}

TEST(PkgBuffer, BuildPkgPrefixesTheLength)
{
    CPkgBuffer buffer;
    EXPECT_TRUE(buffer.Append("old", 3));
    EXPECT_TRUE(BuildPkg(buffer, "\x2C\x01\x05\x00", 4));
    EXPECT_EQ("04 00 00 00 2C 01 05 00", ToHex(Held(buffer)));
    EXPECT_FALSE(BuildPkg(buffer, "x", 0xFFFFFFFFu));  // cannot be framed
}

TEST(PkgBuffer, AppendRefusesALengthThatWouldWrap)
{
    CPkgBuffer buffer;
    EXPECT_TRUE(buffer.Append("ab", 2));
    EXPECT_FALSE(buffer.Append("x", 0xFFFFFFFFu));
    EXPECT_EQ("ab", Held(buffer));
}

}  // namespace
