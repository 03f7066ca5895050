#include "platform/ini.h"
#include "support/scratchdir.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using namespace qxplat;

// CR LF line ends, as a Windows editor writes them.
const char kIni[] =
    "; SvrAddr.ini\r\n"
    "[SvrAddr]\r\n"
    "IP =  10.1.2.3  \r\n"
    "Port=4569\r\n"
    "TCP=-1\r\n"
    "Dup=first\r\n"
    "dup=second\r\n"
    "Number=12abc\r\n"
    "Signed=+7\r\n"
    "Hex=0x1F\r\n"
    "Wrap=4294967297\r\n"
    "Text=abc\r\n"
    "Empty=\r\n"
    "Blank=   \r\n"
    "NoEquals\r\n"
    "Quoted=\"  two spaces  \"\r\n"
    "Single='one'\r\n"
    "Mismatch=\"abc'\r\n"
    "Lone=\"\r\n"
    "QuotedNum=\"42\"\r\n"
    "Inline=5 ; not a comment\r\n"
    ";Commented=1\r\n"
    "  Spaced Key  =  a value  \r\n"
    "[ Other ]\r\n"
    "IP=other\r\n"
    "[Tail] text after the bracket\r\n"
    "Key=tail\r\n"
    "[SvrAddr]\r\n"
    "Late=second section of the same name\r\n";

struct IniCase {
    const char* section;
    const char* key;
    int intDef;
    int wantInt;
    const char* strDef;
    const char* wantStr;
};

const IniCase kCases[] = {
    // section and key without regard to case; keys and values trimmed
    {"SvrAddr", "IP", 0, 10, "d", "10.1.2.3"},
    {"svraddr", "ip", 0, 10, "d", "10.1.2.3"},
    {"SvrAddr", "spaced key", 0, 0, "d", "a value"},
    {"other", "IP", 0, 0, "d", "other"},
    {"Tail", "Key", 0, 0, "d", "tail"},
    // the leading number: a sign, a base prefix, wrapping at 32 bits
    {"SvrAddr", "Port", 1, 4569, "d", "4569"},
    {"SvrAddr", "TCP", 0, -1, "d", "-1"},
    {"SvrAddr", "Number", 0, 12, "d", "12abc"},
    {"SvrAddr", "Signed", 0, 7, "d", "+7"},
    {"SvrAddr", "Hex", 0, 31, "d", "0x1F"},
    {"SvrAddr", "Wrap", 0, 1, "d", "4294967297"},
    {"SvrAddr", "Text", 5, 0, "d", "abc"},
    // an empty value is a value for strings, the default for integers
    {"SvrAddr", "Empty", 5, 5, "d", ""},
    {"SvrAddr", "Blank", 5, 5, "d", ""},
    // a line without '=' defines no value
    {"SvrAddr", "NoEquals", 5, 5, "d", "d"},
    // one pair of matching quotes goes
    {"SvrAddr", "Quoted", 5, 0, "d", "  two spaces  "},
    {"SvrAddr", "Single", 5, 0, "d", "one"},
    {"SvrAddr", "Mismatch", 5, 0, "d", "\"abc'"},
    {"SvrAddr", "Lone", 5, 0, "d", "\""},
    {"SvrAddr", "QuotedNum", 5, 42, "d", "42"},
    // no comments after a value; a ';' line is no key of that name
    {"SvrAddr", "Inline", 0, 5, "d", "5 ; not a comment"},
    {"SvrAddr", "Commented", 5, 5, "d", "d"},
    // the first of duplicate keys; only the first section of a name
    {"SvrAddr", "DUP", 0, 0, "d", "first"},
    {"SvrAddr", "Late", 5, 5, "d", "d"},
    // missing section or key: the default, its trailing blanks dropped
    {"Nowhere", "IP", -3, -3, "dflt", "dflt"},
    {"SvrAddr", "Nothing", 7, 7, "dflt  ", "dflt"},
    {"SvrAddr", "Nothing", 7, 7, nullptr, ""},
};

TEST(Ini, ReadsWithPrivateProfileSemantics)
{
    CScratchDir dir("ini");
    const std::string file = dir.Path("SvrAddr.ini");
    {
        std::ofstream out(file, std::ios::binary);
        out << kIni;
    }
    for (const IniCase& c : kCases) {
        SCOPED_TRACE(std::string("[") + c.section + "] " + c.key);
        EXPECT_EQ(IniGetInt(file, c.section, c.key, c.intDef), c.wantInt);
        EXPECT_EQ(IniGetString(file, c.section, c.key, c.strDef), c.wantStr);
    }
}

TEST(Ini, MissingFileGivesTheDefaults)
{
    CScratchDir dir("ini");
    const std::string file = dir.Path("absent.ini");
    EXPECT_EQ(IniGetInt(file, "SvrAddr", "Port", 4569), 4569);
    EXPECT_EQ(IniGetInt(file, "SvrAddr", "TCP", -1), -1);
    EXPECT_EQ(IniGetString(file, "SvrAddr", "IP", "127.0.0.1"), "127.0.0.1");
}

}  // namespace
