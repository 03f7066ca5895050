#include "common/dataencryption/rc4.h"
#include "cipher_test_support.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// RFC 6229 keystreams for the keys 01 02 03 ... of 40, 128, 192 and 256 bits.
TEST(Rc4, PublishedKeystreams)
{
    struct Case {
        int keyLen;
        size_t offset;
        const char* stream;
    } cases[] = {
        {5, 0, "b2396305f03dc027ccc3524a0a1118a8"},
        {5, 16, "6982944f18fc82d589c403a47a0d0919"},
        {5, 4080, "068326a2118416d21f9d04b2cd1ca050"},
        {16, 0, "9ac7cc9a609d1ef7b2932899cde41b97"},
        {16, 240, "065902e4b620f6cc36c8589f66432f2b"},
        {16, 4096, "a36a4c301ae8ac13610ccbc12256cacc"},
        {24, 0, "0595e57fe5f0bb3c706edac8a4b2db11"},
        {24, 256, "6bd2378ec341c9a42f37ba79f88a32ff"},
        {24, 4096, "3cb0f3b5020a98b82af9fe154484a168"},
        {32, 0, "eaa6bd25880bf93d3f5d1e4ca2611d91"},
        {32, 16, "cfa45c9f7e714b54bdfa80027cb14380"},
        {32, 4080, "a13a7c79c7e119b5ab0296ab28c300b9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.keyLen << " @" << c.offset);
        TRc4State st;
        Rc4Schedule(U8(CountingKey(c.keyLen, 1)), static_cast<size_t>(c.keyLen), &st);
        std::vector<uint8_t> zeros(c.offset + 16);
        Rc4Xor(st, zeros.data(), zeros.size());
        EXPECT_EQ(Hex(c.stream), std::string(zeros.end() - 16, zeros.end()));
    }
}

// Every pass starts the keystream anew from the scheduled state.
TEST(Rc4, EachPassStartsFresh)
{
    TRc4State st;
    Rc4Schedule(U8(CountingKey(16, 1)), 16, &st);
    uint8_t a[16] = {}, b[16] = {};
    Rc4Xor(st, a, sizeof(a));
    Rc4Xor(st, b, sizeof(b));
    EXPECT_EQ(0, memcmp(a, b, sizeof(a)));
    EXPECT_EQ(0x9A, a[0]);
}

// The keystream does not depend on how the data is cut into pieces, whatever
// the pieces' sizes and wherever i wraps.
TEST(Rc4, PiecesContinueOneKeystream)
{
    TRc4State st;
    Rc4Schedule(U8(CountingKey(32, 9)), 32, &st);
    std::vector<uint8_t> whole(1500);
    Rc4Xor(st, whole.data(), whole.size());
    for (size_t step : {1, 3, 7, 8, 9, 13, 16, 250, 256, 1000}) {
        std::vector<uint8_t> pieces(whole.size());
        CRc4Stream rc4(st);
        for (size_t off = 0; off < pieces.size(); off += step)
            rc4.Xor(pieces.data() + off, std::min(step, pieces.size() - off));
        EXPECT_EQ(whole, pieces) << step;
    }
}

}  // namespace
