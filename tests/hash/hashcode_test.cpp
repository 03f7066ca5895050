#include "qxnetengine/hash/hashcode.h"

#include "QXNetEngine.h"

#include "support/hexbytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#ifdef QX_HAVE_OPENSSL
#include <openssl/sha.h>
#endif

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

std::string HashHex(const std::string& data)
{
    uint8_t d[20];
    uint32_t len = sizeof(d);
    EXPECT_EQ(0, ComputeHashCode(data.data(), static_cast<uint32_t>(data.size()), d, &len));
    EXPECT_EQ(20u, len);
    return DigestHex(d, sizeof(d));
}

// SHA-1 of the data with "mq_flute" behind it (values from Python's hashlib).
TEST(HashCode, SaltFollowsTheData)
{
    EXPECT_EQ("14f6fe0154415e98670f49c36965d05f5f1f11f9", HashHex(""));
    EXPECT_EQ("ff7e235d5596ed607591a4143bb0a706cc941855", HashHex("abc"));
    uint8_t d[20];
    uint32_t len = 20;
    EXPECT_EQ(0, ComputeHashCode(nullptr, 0, d, &len));  // data unused when len is 0
    EXPECT_EQ("14f6fe0154415e98670f49c36965d05f5f1f11f9", DigestHex(d, 20));
}

TEST(HashCode, DigestBufferCapacity)
{
    const struct {
        uint32_t capacity;
        int32_t result;
    } cases[] = {{0, -1}, {19, -1}, {20, 0}, {21, 0}, {64, 0}, {0xFFFFFFFFu, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.capacity);
        std::vector<uint8_t> buf(64 + 8,
                                 0xEE);  // room for the largest capacity tested, and a guard
        uint32_t len = c.capacity;
        EXPECT_EQ(c.result, ComputeHashCode("abc", 3, buf.data(), &len));
        EXPECT_EQ(20u, len);
        const size_t written = c.result == 0 ? 20 : 0;
        if (written) {
            EXPECT_EQ("ff7e235d5596ed607591a4143bb0a706cc941855", DigestHex(buf.data(), 20));
        }
        for (size_t i = written; i < buf.size(); ++i)
            ASSERT_EQ(0xEE, buf[i]) << "byte " << i << " touched";
    }
}

TEST(HashCode, MissingBuffersAreRefused)
{
    uint8_t d[20] = {};
    uint32_t len = 20;
    EXPECT_EQ(-1, ComputeHashCode("abc", 3, nullptr, &len));
    EXPECT_EQ(20u, len);
    EXPECT_EQ(-1, ComputeHashCode("abc", 3, d, nullptr));
    len = 20;
    EXPECT_EQ(-1, ComputeHashCode(nullptr, 5, d, &len));
    EXPECT_EQ(20u, len);
    EXPECT_EQ(std::string(20, '\0'), std::string(reinterpret_cast<char*>(d), 20));
}

#ifdef QX_HAVE_OPENSSL
// Lengths around the padding seams: with 8 salt bytes, 47, 48 and 56 bytes of
// data end just before, at and past the 56-byte mark.
TEST(HashCode, MatchesOpenSslAcrossPaddingBoundaries)
{
    for (size_t len = 0; len <= 200; ++len) {
        std::string data(len, '\0');
        for (size_t i = 0; i < len; ++i) data[i] = static_cast<char>(i * 13 + 1);
        const std::string salted = data + "mq_flute";
        uint8_t d[20];
        SHA1(reinterpret_cast<const unsigned char*>(salted.data()), salted.size(), d);
        ASSERT_EQ(DigestHex(d, 20), HashHex(data)) << len;
    }
}
#endif

// The function as a game reaches it: by name from the built library, through
// the public typedef (on Windows this checks the undecorated stdcall alias).
TEST(HashCode, ExportedFromTheLibrary)
{
#ifdef _WIN32
    HMODULE lib = LoadLibraryA("QXNetEngine.dll");
    ASSERT_NE(nullptr, lib);
    auto fn = reinterpret_cast<PFN_QXNetEngine_GetHashCode>(
        reinterpret_cast<void*>(GetProcAddress(lib, "QXNetEngine_GetHashCode")));
#else
    void* lib = dlopen(QX_ENGINE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, lib) << dlerror();
    auto fn = reinterpret_cast<PFN_QXNetEngine_GetHashCode>(dlsym(lib, "QXNetEngine_GetHashCode"));
#endif
    ASSERT_NE(nullptr, fn);
    unsigned char d[64];
    memset(d, 0xEE, sizeof(d));
    unsigned int len = 19;
    EXPECT_EQ(-1, fn("abc", 3, d, &len));
    EXPECT_EQ(20u, len);
    len = sizeof(d);
    EXPECT_EQ(0, fn("abc", 3, d, &len));
    EXPECT_EQ(20u, len);
    EXPECT_EQ("ff7e235d5596ed607591a4143bb0a706cc941855", DigestHex(d, 20));
    EXPECT_EQ(0xEE, d[20]);
#ifdef _WIN32
    FreeLibrary(lib);
#else
    dlclose(lib);
#endif
}

}  // namespace
