#pragma once
// The input of the receive-path harnesses: a 16-bit cut seed, then records
// of kind (1 byte), length (2 bytes, little-endian) and data. Each harness
// frames a record as its kind says (raw bytes, or a frame the harness
// builds, so mutations reach past the framing) and delivers the bytes in
// pieces of 1 to 1024 bytes, the most one read of the socket hands over.

#include "support/fuzzcheck.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TFuzzRecord {
    uint8_t kind = 0;
    std::string data;
};

struct TFuzzStream {
    uint16_t cutSeed = 0;
    std::vector<TFuzzRecord> records;
};

// A record cut short by the end of the input keeps what is there.
TFuzzStream ReadFuzzStream(const uint8_t* data, size_t size);
// The inverse, for writing seeds.
std::string WriteFuzzStream(const TFuzzStream& stream);

// Piece sizes from a seed; seed 0 gives whole 1024-byte reads.
class CPieceCutter {
public:
    explicit CPieceCutter(uint16_t seed) : m_nState(seed), m_bWhole(seed == 0) {}
    size_t Next();

private:
    uint32_t m_nState;
    bool m_bWhole;
};

std::vector<std::string> CutPieces(const std::string& bytes, CPieceCutter& cutter);

// The receive-path check: frames every record with recordBytes, runs the
// input in its pieces, then (unless the seed asked for whole reads already)
// again in whole 1024-byte reads; both runs must end with the same events.
template <typename FrameFn, typename RunFn>
void RunPiecesAgainstWholeReads(const uint8_t* data, size_t size, FrameFn recordBytes, RunFn run)
{
    TFuzzStream s = ReadFuzzStream(data, size);
    std::string whole;
    std::vector<std::string> pieces;
    CPieceCutter cutter(s.cutSeed);
    for (const TFuzzRecord& r : s.records) {
        std::string bytes = recordBytes(r);
        whole += bytes;
        for (std::string& p : CutPieces(bytes, cutter)) pieces.push_back(std::move(p));
    }
    const auto inPieces = run(pieces);
    if (s.cutSeed != 0) {
        CPieceCutter reads(0);
        FUZZ_CHECK(run(CutPieces(whole, reads)) == inPieces);
    }
}
