#pragma once
// The protocol's string and vector types. Every one is a counted value on the
// wire: an 8-bit element count, so at most 255 elements.

#include <cstdint>
#include <string>
#include <vector>

// Short byte string: texts, identifiers, tickets. No terminating zero.
typedef std::vector<char> TVecChar;
// Long byte string: consecutive pieces of at most 255 bytes each.
typedef std::vector<TVecChar> TBigString;

typedef std::vector<int8_t> TVecInt8;
typedef std::vector<uint8_t> TVecUInt8;
typedef std::vector<int16_t> TVecInt16;
typedef std::vector<uint16_t> TVecUInt16;
typedef std::vector<int32_t> TVecInt32;
typedef std::vector<uint32_t> TVecUInt32;
typedef std::vector<int64_t> TVecInt64;
typedef std::vector<uint64_t> TVecUInt64;

// Largest element count of any counted value.
const unsigned int kMaxCount = 255;
// Longest text a TBigString can carry: 255 pieces of 255 bytes.
const unsigned int kMaxBigStringBytes = kMaxCount * kMaxCount;

// A long byte string seen in place, for a sender that streams a file: it
// encodes exactly as the TBigString that CoverString2TBigString makes of
// the same bytes, without building the pieces.
struct TBigStringRef {
    const char* data;
    size_t size;
};

// A TBigString received as one string: the pieces' bytes joined as they are
// read, never built one by one. Decodes and fails exactly as a TBigString.
struct TBigStringJoined {
    std::string bytes;
};

// The same, its bytes appended to a string of the receiver's (a file's
// content gathered for one large write). A message that fails to decode
// leaves the string as it was.
struct TBigStringAppended {
    std::string* bytes;
};

// Copies text into out. A text above 255 bytes leaves out untouched and
// returns false, or with truncate keeps its first 255 bytes and still
// returns false.
bool CoverString2TVecChar(const std::string& text, TVecChar& out, bool truncate);
// Appends text to out as 255-byte pieces (the last may be shorter). A text
// that needs more than 255 pieces leaves out untouched and returns false.
bool CoverString2TBigString(const std::string& text, TBigString& out);
// Replaces text with the bytes of in.
bool CoverTVecChar2String(const TVecChar& in, std::string& text);
// Appends the pieces of in, in order; text is not cleared first.
void CoverTBigString2String(const TBigString& in, std::string& text);
