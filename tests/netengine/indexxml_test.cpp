#include "qxnetengine/resinfovermgr/indexxml.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Record(const std::string& resId, const std::string& pkg = "<PackageID>p</PackageID>")
{
    return "<Record><ResID>" + resId + "</ResID>" + pkg + "</Record>";
}

TEST(IndexXml, ResIdIsADecimalCutTo32Bits)
{
    struct Case {
        const char* text;
        uint32_t id;
    } cases[] = {{"1001", 1001},      {" 42abc", 42},    {"abc", 0},
                 {"-1", 4294967295u}, {"4294967297", 1}, {"+7", 7}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<ResInfoItem> items;
        ASSERT_TRUE(ParseIndexXml("<root>" + Record(c.text) + "</root>", items));
        ASSERT_EQ(1u, items.size());
        EXPECT_EQ(c.id, items[0].ResID);
    }
}

TEST(IndexXml, RecordsInOrderUntilTheFirstBadOne)
{
    std::vector<ResInfoItem> items;
    std::string xml =
        "<root><Record a=\"1\"><ResID>1</ResID><PackageID>ui_main</PackageID>"
        "<More x=\"y\">z</More></Record>" +
        Record("2") + Record("3", "") + Record("4") + "</root>";
    EXPECT_FALSE(ParseIndexXml(xml, items));  // the third lacks its PackageID
    ASSERT_EQ(2u, items.size());
    EXPECT_EQ("ui_main", items[0].PackageID);
    // The record comes back as XML with everything it carried.
    EXPECT_NE(std::string::npos, items[0].RecordXml.find("<More x=\"y\">z</More>"));
    EXPECT_NE(std::string::npos, items[0].RecordXml.find("a=\"1\""));
    EXPECT_EQ(0u, items[0].RecordXml.find("<Record"));
}

TEST(IndexXml, DocumentsThatGiveNothing)
{
    struct Case {
        const char* name;
        std::string xml;
    } cases[] = {
        {"empty", ""},
        {"not well-formed", "<root><Record>"},
        {"no root", "<top>" + Record("1") + "</top>"},
        {"ResID without text", "<root><Record><ResID/><PackageID>p</PackageID></Record></root>"},
        // A zero byte inside an element once kept the parser looping for ever.
        {"zero byte in an element", std::string("<A>\0\0", 5)},
        {"zero byte after a record", "<root>" + Record("1") + std::string(1, '\0') + "</root>"},
        // This one once aborted the process inside the XML library.
        {"closing tag running into a CDATA opening",
         "<root>" + Record("1") + "</x<![CDATA[</root>"},
        // And this one read past the end of the library's copy of the text.
        {"UTF-8 sequence cut short by the end",
         "\xEF\xBB\xBF<root>" + Record("1") + "<Record><ResID>2</ResID><PackageID>\xEF"},
        {"nested deeper than the limit", "<root>" +
                                             [] {
                                                 std::string s;
                                                 for (int i = 0; i < 300; ++i) s += "<a>";
                                                 for (int i = 0; i < 300; ++i) s += "</a>";
                                                 return s;
                                             }() +
                                             "</root>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<ResInfoItem> items;
        EXPECT_FALSE(ParseIndexXml(c.xml, items));
        EXPECT_TRUE(items.empty());
    }
    // Deep but within the limit still parses; a long flat list is no depth.
    std::string deep = "<root>" + Record("5");
    for (int i = 0; i < 200; ++i) deep += "<a>";
    for (int i = 0; i < 200; ++i) deep += "</a>";
    std::vector<ResInfoItem> items;
    EXPECT_TRUE(ParseIndexXml(deep + "</root>", items));
    EXPECT_EQ(1u, items.size());
    std::string flat = "<root>";
    for (int i = 0; i < 1000; ++i) flat += Record(std::to_string(i));
    items.clear();
    EXPECT_TRUE(ParseIndexXml(flat + "</root>", items));
    EXPECT_EQ(1000u, items.size());
}

TEST(IndexXml, DeepNestingNeverReachesTheParser)
{
    // Deep enough to exhaust the stack of a recursive parser.
    std::string xml = "<root>";
    for (int i = 0; i < 200000; ++i) xml += "<a>";
    std::vector<ResInfoItem> items;
    EXPECT_FALSE(ParseIndexXml(xml, items));
}

}  // namespace

namespace {

TEST(IndexXml, NothingHidesATagFromTheDepthCheck)
{
    // A slash inside a quoted value does not make a tag self-closing.
    for (const char* open : {"<a x=\"/>\">", "<a x='/>'>", "<a\tx=\"\"/ y=\"1\">"}) {
        SCOPED_TRACE(open);
        std::string xml = "<root>";
        for (int i = 0; i < 200000; ++i) xml += open;
        std::vector<ResInfoItem> items;
        EXPECT_FALSE(ParseIndexXml(xml, items));
    }
    // A quoted value hides nothing from the stream input, which ends a tag
    // at its first '>' and would nest every tag inside the value.
    for (const char* quote : {"\"", "'"}) {
        for (bool closed : {true, false}) {
            SCOPED_TRACE(std::string(quote) + (closed ? " closed" : " unclosed"));
            std::string xml = std::string("<root x=") + quote + ">";
            for (int i = 0; i < 100000; ++i) xml += "<a>";
            if (closed)
                xml += std::string(quote) + "></root>";
            std::vector<ResInfoItem> items;
            EXPECT_FALSE(ParseIndexXml(xml, items));
        }
    }
    // Comments and CDATA that hold tags count for nothing.
    std::string xml = "<root><!-- <a><a><a> --><![CDATA[<b><b>]]>";
    for (int i = 0; i < 250; ++i) xml += "<a x='1'>";
    for (int i = 0; i < 250; ++i) xml += "</a>";
    std::vector<ResInfoItem> items;
    EXPECT_TRUE(ParseIndexXml(xml + "</root>", items));
}

}  // namespace
