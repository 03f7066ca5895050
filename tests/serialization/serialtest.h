#pragma once
// Helpers shared by the serialisation tests.

#include "common/serialization/bufferreader.h"
#include "common/serialization/bufferwriter.h"

#include <string>

// The text of the CBufferError that fn throws, or "" when it throws none.
template <typename F>
std::string ThrownText(F fn)
{
    try {
        fn();
    } catch (const CBufferError& e) {
        return e.what();
    }
    return "";
}

template <typename T>
std::string Encode(const T& value)
{
    std::string out;
    CBufferWriter writer(&out);
    writer << value;
    return out;
}

inline CBufferReader ReaderOver(const std::string& bytes)
{
    return CBufferReader(bytes.data(), static_cast<uint32_t>(bytes.size()));
}
