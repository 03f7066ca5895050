#include "common/serialization/basictypes.h"

#include <gtest/gtest.h>

namespace {

std::string Text(size_t n)
{
    std::string text(n, '\0');
    for (size_t i = 0; i < n; ++i) text[i] = static_cast<char>('a' + i % 26);
    return text;
}

TEST(CoverString2TBigString, CutsInto255BytePieces)
{
    struct Case {
        size_t length;
        bool result;
        size_t pieces;
        size_t lastPiece;
    } cases[] = {
        {0, true, 0, 0},         {1, true, 1, 1},      {255, true, 1, 255},
        {256, true, 2, 1},       {510, true, 2, 255},  {65025, true, 255, 255},
        {65024, true, 255, 254}, {65026, false, 0, 0}, {100000, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::string text = Text(c.length);
        TBigString out;
        EXPECT_EQ(c.result, CoverString2TBigString(text, out));
        ASSERT_EQ(c.pieces, out.size());
        if (out.empty())
            continue;
        for (size_t i = 0; i + 1 < out.size(); ++i) EXPECT_EQ(255u, out[i].size());
        EXPECT_EQ(c.lastPiece, out.back().size());
        std::string joined;
        CoverTBigString2String(out, joined);
        EXPECT_EQ(text, joined);
    }
}

TEST(CoverString2TBigString, AppendsToWhatOutHolds)
{
    TBigString out = {{'x'}};
    EXPECT_TRUE(CoverString2TBigString("ab", out));
    EXPECT_EQ((TBigString{{'x'}, {'a', 'b'}}), out);
    EXPECT_FALSE(CoverString2TBigString(Text(65026), out));
    EXPECT_EQ(2u, out.size());
}

TEST(CoverString2TVecChar, TruncatesOnlyWhenAsked)
{
    struct Case {
        size_t length;
        bool truncate;
        bool result;
        size_t outLength;  // 2: out left as it was ("zz")
    } cases[] = {
        {0, false, true, 0},    {3, false, true, 3},    {255, false, true, 255},
        {256, false, false, 2}, {300, false, false, 2}, {300, true, false, 255},
        {255, true, true, 255},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.length << " truncate=" << c.truncate);
        std::string text = Text(c.length);
        TVecChar out = {'z', 'z'};
        EXPECT_EQ(c.result, CoverString2TVecChar(text, out, c.truncate));
        ASSERT_EQ(c.outLength, out.size());
        std::string back;
        EXPECT_TRUE(CoverTVecChar2String(out, back));
        if (c.outLength == 2 && c.length != 2)
            EXPECT_EQ("zz", back);
        else
            EXPECT_EQ(text.substr(0, c.outLength), back);
    }
}

TEST(CoverTVecChar2String, ReplacesAndBigStringAppends)
{
    std::string text = "old";
    EXPECT_TRUE(CoverTVecChar2String(TVecChar{'n', 'e', 'w'}, text));
    EXPECT_EQ("new", text);
    CoverTBigString2String(TBigString{{'a'}, {}, {'b', 'c'}}, text);
    EXPECT_EQ("newabc", text);
}

}  // namespace
