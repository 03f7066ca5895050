#include "serialtest.h"
#include "support/hexbytes.h"

#include <gtest/gtest.h>

namespace {

TEST(BufferWriter, WorkedExamples)
{
    TVecChar abc = {'a', 'b', 'c'};
    EXPECT_EQ("03 61 62 63", ToHex(Encode(abc)));
    EXPECT_EQ("01 03 61 62 63", ToHex(Encode(TBigString{abc})));
    EXPECT_EQ("00", ToHex(Encode(TBigString())));
    EXPECT_EQ("2C 01", ToHex(Encode(static_cast<uint16_t>(300))));
}

TEST(BufferWriter, ScalarsAreLittleEndian)
{
    std::string out;
    CBufferWriter writer(&out);
    writer << static_cast<uint8_t>(0xAB) << static_cast<uint16_t>(0x1234)
           << static_cast<uint32_t>(0x89ABCDEF) << static_cast<int32_t>(-2);
    EXPECT_EQ("AB 34 12 EF CD AB 89 FE FF FF FF", ToHex(out));
}

TEST(BufferWriter, IntegerVectorsEncodeEachElementLittleEndian)
{
    EXPECT_EQ("02 FF 05", ToHex(Encode(TVecInt8{-1, 5})));
    EXPECT_EQ("01 80", ToHex(Encode(TVecUInt8{0x80})));
    EXPECT_EQ("02 FE FF 02 01", ToHex(Encode(TVecInt16{-2, 0x0102})));
    EXPECT_EQ("01 34 12", ToHex(Encode(TVecUInt16{0x1234})));
    EXPECT_EQ("02 FF FF FF FF 04 03 02 01", ToHex(Encode(TVecInt32{-1, 0x01020304})));
    EXPECT_EQ("01 EF CD AB 89", ToHex(Encode(TVecUInt32{0x89ABCDEF})));
    EXPECT_EQ("01 FE FF FF FF FF FF FF FF", ToHex(Encode(TVecInt64{-2})));
    EXPECT_EQ("01 08 07 06 05 04 03 02 01", ToHex(Encode(TVecUInt64{0x0102030405060708ull})));
    EXPECT_EQ("00", ToHex(Encode(TVecUInt32())));
}

TEST(BufferWriter, CountLimitIs255)
{
    std::string out = Encode(TVecChar(255, 'x'));
    EXPECT_EQ(256u, out.size());
    EXPECT_EQ('\xFF', out[0]);
    EXPECT_EQ(1u + 255 * 8, Encode(TVecUInt64(255, 1)).size());
    EXPECT_EQ(1u + 255 * 256, Encode(TBigString(255, TVecChar(255, 'y'))).size());

    EXPECT_EQ(TXT_LENGTH_TOO_LONG, ThrownText([] { Encode(TVecChar(256, 'x')); }));
    EXPECT_EQ(TXT_LENGTH_TOO_LONG, ThrownText([] { Encode(TVecUInt16(256)); }));
    EXPECT_EQ(TXT_LENGTH_TOO_LONG, ThrownText([] { Encode(TBigString(256, TVecChar(1, 'y'))); }));
    // Each piece of a TBigString obeys the limit too.
    EXPECT_EQ(TXT_LENGTH_TOO_LONG, ThrownText([] { Encode(TBigString(1, TVecChar(256, 'y'))); }));
}

TEST(BufferWriter, BigStringSeenInPlaceEncodesAsItsPieces)
{
    std::string text(kMaxBigStringBytes + 1, '\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(i * 7);
    for (size_t len : {size_t(0), size_t(1), size_t(254), size_t(255), size_t(256), size_t(510),
                       size_t(1000), size_t(kMaxBigStringBytes)}) {
        TBigString pieces;
        ASSERT_TRUE(CoverString2TBigString(text.substr(0, len), pieces));
        EXPECT_EQ(Encode(pieces), Encode(TBigStringRef{text.data(), len})) << len;
    }
    EXPECT_EQ(TXT_LENGTH_TOO_LONG, ThrownText([&] {
                  Encode(TBigStringRef{text.data(), kMaxBigStringBytes + 1});
              }));
}

TEST(BufferWriter, TooLongTextIsGbkOnWindows)
{
    std::string text = ThrownText([] { Encode(TVecChar(256, 'x')); });
#if defined(_WIN32)
    EXPECT_EQ("B3 A4 B6 C8 CC AB B3 A4 A3 A1", ToHex(text));
#else
    EXPECT_EQ("E9 95 BF E5 BA A6 E5 A4 AA E9 95 BF EF BC 81", ToHex(text));
#endif
}

TEST(BufferWriter, TooLongValueAddsNothingOfItself)
{
    std::string out;
    CBufferWriter writer(&out);
    writer << static_cast<uint16_t>(300);
    EXPECT_EQ(TXT_LENGTH_TOO_LONG, ThrownText([&] { writer << TVecChar(256, 'x'); }));
    EXPECT_EQ("2C 01", ToHex(out));
}

TEST(BufferWriter, ConstructionClearsTheDestination)
{
    std::string out = "leftover";
    CBufferWriter writer(&out);
    EXPECT_TRUE(out.empty());
    writer << static_cast<uint8_t>(1);
    EXPECT_EQ("01", ToHex(out));
}

}  // namespace
