#include "support/hexbytes.h"

#include <cctype>
#include <cstdlib>
#include <stdexcept>

std::string Hex(const char* text)
{
    std::string out;
    std::string digits;
    for (const char* p = text; *p; ++p) {
        if (isspace(static_cast<unsigned char>(*p)))
            continue;
        if (!isxdigit(static_cast<unsigned char>(*p)))
            throw std::invalid_argument(text);
        digits += *p;
        if (digits.size() == 2) {
            out += static_cast<char>(strtol(digits.c_str(), nullptr, 16));
            digits.clear();
        }
    }
    if (!digits.empty())
        throw std::invalid_argument(text);
    return out;
}

std::string ToHex(const std::string& data)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : data) {
        if (!out.empty())
            out += ' ';
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

std::string DigestHex(const unsigned char* p, size_t len)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < len; ++i) {
        out += kDigits[p[i] >> 4];
        out += kDigits[p[i] & 15];
    }
    return out;
}
