// The library's texts against the UTF-8 originals: GBK on Windows, UTF-8 on POSIX.
#include "common/texts/texts.h"

#include <gtest/gtest.h>

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace {

// This file is compiled as UTF-8, so these are the originals.
const TTextEntry kUtf8[] = {
#define QX_TEXT(name, text) {#name, text},
#include "common/texts/texts.inc"
#undef QX_TEXT
};

// Converts UTF-8 to GBK with the system's own tables; empty on any failure.
std::string ToGbk(const std::string& utf8)
{
#ifdef _WIN32
    int wn = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                 static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(wn), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], wn);
    BOOL lossy = FALSE;
    int n = WideCharToMultiByte(936, 0, wide.data(), wn, nullptr, 0, nullptr, &lossy);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(936, 0, wide.data(), wn, &out[0], n, nullptr, &lossy);
    return lossy ? std::string() : out;
#else
    iconv_t cd = iconv_open("GBK", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::string();
    std::string in = utf8, out(utf8.size() * 2 + 4, '\0');
    char* ip = &in[0];
    char* op = &out[0];
    size_t il = in.size(), ol = out.size();
    size_t rc = iconv(cd, &ip, &il, &op, &ol);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1) || il != 0)
        return std::string();
    out.resize(out.size() - ol);
    return out;
#endif
}

TEST(Texts, EveryTextMatchesItsOriginal)
{
    ASSERT_EQ(sizeof kUtf8 / sizeof kUtf8[0], g_nAllTexts);
    for (unsigned int i = 0; i < g_nAllTexts; ++i) {
        SCOPED_TRACE(kUtf8[i].name);
        EXPECT_STREQ(kUtf8[i].name, g_AllTexts[i].name);
        std::string gbk = ToGbk(kUtf8[i].text);
        ASSERT_FALSE(gbk.empty());  // every text has a GBK form
#ifdef _WIN32
        EXPECT_EQ(gbk, g_AllTexts[i].text);
#else
        EXPECT_STREQ(kUtf8[i].text, g_AllTexts[i].text);
#endif
    }
}

// Published GBK code points, independent of both converters.
TEST(Texts, KnownGbkBytes)
{
    const char* gbk = "\xb3\xa4\xb6\xc8\xcc\xab\xb3\xa4\xa3\xa1";
    for (const TTextEntry& e : kUtf8) {
        if (std::string(e.name) == "TXT_LENGTH_TOO_LONG") {
            EXPECT_EQ(gbk, ToGbk(e.text));
        }
    }
#ifdef _WIN32
    EXPECT_STREQ(gbk, TXT_LENGTH_TOO_LONG);
#endif
}

}  // namespace
