// CBufferReader over every type a payload can hold. The input is a count n,
// n type selectors, then the payload; the types are read in turn until one
// throws. Whatever was read, encoded again, must be the bytes it came from.
#include "common/protocols/resinfodisp.h"
#include "common/protocols/resinfoinner.h"
#include "common/serialization/bufferreader.h"
#include "common/serialization/bufferwriter.h"
#include "support/fuzzcheck.h"

#include <string>

namespace {

template <typename T>
void Echo(CBufferReader& reader, std::string* echo)
{
    T value{};
    reader >> value;
    std::string bytes;
    CBufferWriter writer(&bytes);
    writer << value;
    *echo += bytes;
}

// The joined form of a TBigString must accept, refuse and stop exactly
// where the pieces do, with the same bytes.
void EchoJoined(CBufferReader& reader, std::string* echo)
{
    CBufferReader asPieces = reader;
    TBigString pieces;
    std::string piecesError = "none";
    try {
        asPieces >> pieces;
    } catch (const CBufferError& e) {
        piecesError = e.what();
    }
    TBigStringJoined joined;
    try {
        reader >> joined;
    } catch (const CBufferError& e) {
        FUZZ_CHECK(piecesError == e.what());
        throw;
    }
    FUZZ_CHECK(piecesError == "none" && asPieces.GetCur() == reader.GetCur());
    std::string bytes;
    CoverTBigString2String(pieces, bytes);
    FUZZ_CHECK(bytes == joined.bytes);
    CBufferWriter writer(&bytes);
    writer << pieces;
    *echo += bytes;
}

typedef void (*EchoFn)(CBufferReader&, std::string*);

const EchoFn kTypes[] = {
    Echo<uint8_t>,
    Echo<uint16_t>,
    Echo<uint32_t>,
    Echo<int32_t>,
    Echo<TVecChar>,
    Echo<TVecInt8>,
    Echo<TVecUInt8>,
    Echo<TVecInt16>,
    Echo<TVecUInt16>,
    Echo<TVecInt32>,
    Echo<TVecUInt32>,
    Echo<TVecInt64>,
    Echo<TVecUInt64>,
    Echo<TBigString>,
    Echo<ResInfoInner::TVersionInfo>,
    Echo<ResInfoInner::TVecVersionInfo>,
    Echo<ResInfoInner::TFileInfo>,
    Echo<ResInfoDisp::TIPv4Addr>,
    EchoJoined,
};
const size_t kTypeCount = sizeof kTypes / sizeof kTypes[0];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    size_t n = data[0] % 33;
    if (n > size - 1)
        n = size - 1;
    const uint8_t* selectors = data + 1;
    const char* payload = reinterpret_cast<const char*>(data + 1 + n);
    const uint32_t len = static_cast<uint32_t>(size - 1 - n);

    CBufferReader reader(payload, len);
    std::string echo;
    size_t consumed = 0;
    for (size_t i = 0; i < n; ++i) {
        try {
            kTypes[selectors[i] % kTypeCount](reader, &echo);
        } catch (const CBufferError&) {
            break;
        }
        // A reader that has read everything lets go of its bytes.
        consumed = reader.GetCur() ? static_cast<size_t>(reader.GetCur() - payload) : len;
        FUZZ_CHECK(consumed <= len);
        FUZZ_CHECK(echo.size() == consumed && echo.compare(0, consumed, payload, consumed) == 0);
    }
    return 0;
}
