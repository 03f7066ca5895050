// The private-profile reading of Windows, the file read anew at each call.
// Comment lines need no rule of their own: ";key=1" defines a key named
// ";key", which no lookup of "key" matches.

#include "platform/ini.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

namespace qxplat {

namespace {

// The profile functions' notion of blank, including DOS end-of-file (^Z).
bool IsBlank(char c) { return (c >= 0x09 && c <= 0x0d) || c == 0x1a || c == ' '; }

std::string Trim(const std::string& s, size_t b, size_t e)
{
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

// The raw value of key in the first section named section; false when the
// file, the section or the key is missing, or the key has no '='.
bool FindValue(const std::string& file, const char* section, const char* key, std::string* value)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return false;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string wantSection = Trim(section, 0, strlen(section));
    const std::string wantKey = Trim(key, 0, strlen(key));
    bool inSection = false;
    size_t pos = 0;
    while (pos < text.size()) {
        // CR, LF or both end a line.
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = Trim(text, pos, end);
        pos = end + 1;
        if (line.empty())
            continue;
        if (line[0] == '[') {
            // Text after the last ']' is ignored; without one it is a key line.
            size_t close = line.rfind(']');
            if (close != std::string::npos) {
                // Only the first section of a name is searched.
                if (inSection)
                    return false;
                inSection = SameName(Trim(line, 1, close), wantSection);
                continue;
            }
        }
        if (!inSection)
            continue;
        size_t eq = line.find('=');
        if (!SameName(Trim(line, 0, eq == std::string::npos ? line.size() : eq), wantKey))
            continue;
        // The first key of a name counts, even one without '='.
        if (eq == std::string::npos)
            return false;
        *value = Trim(line, eq + 1, line.size());
        return true;
    }
    return false;
}

// One pair of matching quotes around a value is dropped.
std::string Unquote(const std::string& v)
{
    if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
        return v.substr(1, v.size() - 2);
    return v;
}

// RtlCharToInteger with base 0: blanks (any control character or space),
// one sign, an optional 0x / 0o / 0b prefix, then digits up to the first
// other character; the sum wraps at 32 bits.
uint32_t LeadingNumber(const std::string& s)
{
    size_t i = 0;
    while (i < s.size() && static_cast<unsigned char>(s[i]) <= ' ') ++i;
    bool minus = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        minus = s[i++] == '-';
    unsigned base = 10;
    if (i + 1 < s.size() && s[i] == '0') {
        char p = s[i + 1];
        base = p == 'x' ? 16 : p == 'o' ? 8 : p == 'b' ? 2 : 10;
        if (base != 10)
            i += 2;
    }
    uint32_t sum = 0;
    for (; i < s.size(); ++i) {
        char c = Lower(s[i]);
        unsigned digit = c >= '0' && c <= '9'   ? static_cast<unsigned>(c - '0')
                         : c >= 'a' && c <= 'z' ? static_cast<unsigned>(c - 'a' + 10)
                                                : 99;
        if (digit >= base)
            break;
        sum = sum * base + digit;
    }
    return minus ? 0u - sum : sum;
}

}  // namespace

int IniGetInt(const std::string& file, const char* section, const char* key, int def)
{
    if (!section || !key)
        return def;
    std::string value;
    if (!FindValue(file, section, key, &value))
        return def;
    value = Unquote(value);
    // An empty value reads as the default, not as 0.
    if (value.empty())
        return def;
    return static_cast<int>(LeadingNumber(value));
}

std::string IniGetString(const std::string& file, const char* section, const char* key,
                         const char* def)
{
    std::string fallback = def ? def : "";
    if (!section || !key)
        return fallback;
    // Trailing blanks of the default are dropped, as documented for Windows.
    while (!fallback.empty() && fallback.back() == ' ') fallback.pop_back();
    std::string value;
    return Unquote(FindValue(file, section, key, &value) ? value : fallback);
}

}  // namespace qxplat
