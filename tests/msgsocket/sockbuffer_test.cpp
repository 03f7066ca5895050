#include "common/msgsocket/sockbuffer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Held(const CSockBuffer& b) { return std::string(b.Data(), b.Length()); }

TEST(SockBuffer, AppendCommitAndLimits)
{
    CSockBuffer b(8);
    EXPECT_TRUE(b.Append("abcdef", 6));
    EXPECT_FALSE(b.Append("xyz", 3));  // all or nothing
    EXPECT_EQ("abcdef", Held(b));
    EXPECT_EQ(2u, b.FreeSize());
    memcpy(b.FreePtr(), "gh", 2);
    EXPECT_FALSE(b.Commit(3));
    EXPECT_TRUE(b.Commit(2));
    EXPECT_EQ("abcdefgh", Held(b));
    EXPECT_TRUE(b.Append(nullptr, 0));
}

TEST(SockBuffer, Consume)
{
    struct Case {
        const char* name;
        std::string held;
        unsigned int n;
        std::string left;
    } cases[] = {
        {"front part moves up", "abcdef", 2, "cdef"},
        {"exactly all", "abcdef", 6, ""},
        {"more than held", "abcdef", 100, ""},
        {"zero keeps a partial buffer", "abcdef", 0, "abcdef"},
        {"zero empties a full buffer", "abcdefgh", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSockBuffer b(8);
        b.Append(c.held.data(), static_cast<unsigned>(c.held.size()));
        b.Consume(c.n);
        EXPECT_EQ(c.left, Held(b));
    }
}

TEST(SockBuffer, ZeroCapacity)
{
    CSockBuffer b(0);
    EXPECT_EQ(nullptr, b.Data());
    EXPECT_TRUE(b.Append("", 0));
    EXPECT_FALSE(b.Append("a", 1));
}

}  // namespace
