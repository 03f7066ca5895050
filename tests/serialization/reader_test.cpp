#include "serialtest.h"
#include "support/hexbytes.h"

#include <functional>

#include <gtest/gtest.h>

namespace {

template <typename T>
T Decode(const std::string& bytes)
{
    CBufferReader reader = ReaderOver(bytes);
    T value{};
    reader >> value;
    return value;
}

template <typename T>
void ExpectRoundTrip(const T& value)
{
    std::string bytes = Encode(value);
    EXPECT_EQ(value, Decode<T>(bytes)) << ToHex(bytes);
}

TEST(BufferReader, DecodesWhatTheWriterEncodes)
{
    EXPECT_EQ(300, Decode<uint16_t>(Hex("2C 01")));
    EXPECT_EQ(0x89ABCDEFu, Decode<uint32_t>(Hex("EF CD AB 89")));
    EXPECT_EQ(-2, Decode<int32_t>(Hex("FE FF FF FF")));
    EXPECT_EQ((TVecChar{'a', 'b', 'c'}), Decode<TVecChar>(Hex("03 61 62 63")));
    EXPECT_EQ((TBigString{{'a', 'b', 'c'}}), Decode<TBigString>(Hex("01 03 61 62 63")));

    ExpectRoundTrip(TVecInt8{-128, 0, 127});
    ExpectRoundTrip(TVecUInt8{0, 255});
    ExpectRoundTrip(TVecInt16{-32768, -1, 32767});
    ExpectRoundTrip(TVecUInt16{0, 0xFFFF, 0x1234});
    ExpectRoundTrip(TVecInt32{INT32_MIN, -1, INT32_MAX});
    ExpectRoundTrip(TVecUInt32{0, 0xFFFFFFFFu});
    ExpectRoundTrip(TVecInt64{INT64_MIN, -1, INT64_MAX});
    ExpectRoundTrip(TVecUInt64(255, 0x0102030405060708ull));
    ExpectRoundTrip(TBigString(255, TVecChar(255, 'z')));
}

TEST(BufferReader, ReadsFieldsInOrderAndIgnoresTheRest)
{
    std::string bytes = Hex("2C 01 02 61 62 07 00 00 00 FF");
    CBufferReader reader = ReaderOver(bytes);
    uint16_t a = 0;
    TVecChar b;
    uint32_t c = 0;
    reader >> a >> b >> c;
    EXPECT_EQ(300, a);
    EXPECT_EQ((TVecChar{'a', 'b'}), b);
    EXPECT_EQ(7u, c);
}

struct FailCase {
    const char* name;
    const char* bytes;
    std::function<void(CBufferReader&)> read;
    const char* text;
};

TEST(BufferReader, ShortInputThrowsTheSpecifiedText)
{
    const FailCase cases[] = {
        {"vecchar short", "03 61 62",
         [](CBufferReader& r) {
             TVecChar v;
             r >> v;
         },
         TXT_OUT_OF_BUFFER},
        {"vecchar empty", "",
         [](CBufferReader& r) {
             TVecChar v;
             r >> v;
         },
         TXT_OBJECT_NOT_VALID},
        {"u32 from 2", "01 02",
         [](CBufferReader& r) {
             uint32_t v;
             r >> v;
         },
         TXT_OBJECT_NOT_VALID},
        {"i32 from 3", "01 02 03",
         [](CBufferReader& r) {
             int32_t v;
             r >> v;
         },
         TXT_OBJECT_NOT_VALID},
        {"u16 from 1", "01",
         [](CBufferReader& r) {
             uint16_t v;
             r >> v;
         },
         TXT_OBJECT_NOT_VALID},
        {"u8 from 0", "",
         [](CBufferReader& r) {
             uint8_t v;
             r >> v;
         },
         TXT_OBJECT_NOT_VALID},
        {"u32 vector short", "02 01 00 00 00 02 00 00",
         [](CBufferReader& r) {
             TVecUInt32 v;
             r >> v;
         },
         TXT_OUT_OF_BUFFER},
        {"u64 vector count only", "FF",
         [](CBufferReader& r) {
             TVecUInt64 v;
             r >> v;
         },
         TXT_OUT_OF_BUFFER},
        {"big string piece short", "01 05 61",
         [](CBufferReader& r) {
             TBigString v;
             r >> v;
         },
         TXT_OUT_OF_BUFFER},
        {"big string piece missing", "02 01 61",
         [](CBufferReader& r) {
             TBigString v;
             r >> v;
         },
         TXT_OBJECT_NOT_VALID},
        {"read bytes short", "01 02",
         [](CBufferReader& r) {
             char b[3];
             r.ReadBytes(b, 3);
         },
         TXT_OUT_OF_BUFFER},
    };
    for (const FailCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string bytes = Hex(c.bytes);
        CBufferReader reader = ReaderOver(bytes);
        EXPECT_EQ(c.text, ThrownText([&] { c.read(reader); }));
    }
}

TEST(BufferReader, FailedScalarLeavesThePositionWhereItWas)
{
    std::string bytes = Hex("01 02");
    CBufferReader reader = ReaderOver(bytes);
    EXPECT_EQ(TXT_OBJECT_NOT_VALID, ThrownText([&] {
                  uint32_t v;
                  reader >> v;
              }));
    EXPECT_EQ(bytes.data(), reader.GetCur());
    uint16_t v = 0;
    reader >> v;
    EXPECT_EQ(0x0201, v);
}

TEST(BufferReader, EmptiesItselfOnceExhausted)
{
    std::string bytes = Hex("07 00 00 00");
    CBufferReader reader = ReaderOver(bytes);
    uint32_t v = 0;
    reader >> v;  // ends exactly at the end of the range
    EXPECT_EQ(7u, v);
    EXPECT_EQ(TXT_OBJECT_NOT_VALID, ThrownText([&] {
                  uint8_t b;
                  reader >> b;
              }));
    EXPECT_EQ(nullptr, reader.GetCur());
    EXPECT_EQ(nullptr, reader.GetEnd());
    EXPECT_FALSE(reader.HasBytes(0));
    EXPECT_EQ(TXT_OBJECT_NOT_VALID, ThrownText([&] {
                  TBigString s;
                  reader >> s;
              }));
    EXPECT_EQ(TXT_OUT_OF_BUFFER, ThrownText([&] { reader.ReadBytes(&v, 0); }));
}

TEST(BufferReader, EmptyRangeAndDefaultReaderAreEmpty)
{
    CBufferReader none;
    EXPECT_FALSE(none.IsValid());
    char byte = 1;
    CBufferReader zero(&byte, 0);
    EXPECT_FALSE(zero.IsValid());
    EXPECT_EQ(nullptr, zero.GetCur());
    CBufferReader nullRange(nullptr, 0);
    EXPECT_FALSE(nullRange.HasBytes(0));
}

// The joined and appended forms serve a download: they must accept, refuse
// and stop exactly where the pieces would.
TEST(BufferReader, BigStringJoinedDecodesAsItsPieces)
{
    const char* const cases[] = {
        "00",                      // no pieces
        "01 03 61 62 63 FF",       // one piece, a byte after it
        "03 01 61 00 02 62 63",    // an empty piece between two
        "",                        // no count
        "02 01 61",                // a piece missing
        "02 01 61 05 62 63",       // a piece shorter than its count
        "01",                      // a piece without its count
    };
    for (const char* hex : cases) {
        const std::string bytes = Hex(hex);
        CBufferReader asPieces = ReaderOver(bytes), asJoined = ReaderOver(bytes);
        TBigString pieces;
        TBigStringJoined joined{"left over"};
        const std::string piecesError = ThrownText([&] { asPieces >> pieces; });
        const std::string joinedError = ThrownText([&] { asJoined >> joined; });
        EXPECT_EQ(piecesError, joinedError) << hex;
        EXPECT_EQ(asPieces.GetCur(), asJoined.GetCur()) << hex;
        std::string expected;
        CoverTBigString2String(pieces, expected);
        if (piecesError.empty()) {
            EXPECT_EQ(expected, joined.bytes) << hex;
        }
        // Appended to bytes already gathered: those stay, whatever happens.
        std::string gathered = "gathered";
        TBigStringAppended appended{&gathered};
        CBufferReader asAppended = ReaderOver(bytes);
        EXPECT_EQ(piecesError, ThrownText([&] { asAppended >> appended; })) << hex;
        EXPECT_EQ(asPieces.GetCur(), asAppended.GetCur()) << hex;
        EXPECT_EQ(piecesError.empty() ? "gathered" + expected : "gathered", gathered) << hex;
    }
}

TEST(BufferReader, CountZeroEmptiesTheDestination)
{
    std::string bytes = Hex("00 00 00");
    CBufferReader reader = ReaderOver(bytes);
    TVecChar chars = {'x'};
    TBigString pieces = {{'y'}};
    TVecUInt32 ints = {1, 2};
    reader >> chars >> pieces >> ints;
    EXPECT_TRUE(chars.empty());
    EXPECT_TRUE(pieces.empty());
    EXPECT_TRUE(ints.empty());
}

}  // namespace
