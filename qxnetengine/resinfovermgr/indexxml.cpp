#include "qxnetengine/resinfovermgr/indexxml.h"

#include <tinyxml.h>

#include <cctype>
#include <sstream>

namespace {

// TinyXML parses nested elements recursively: a deep enough text would
// overflow the stack, so depth is measured before it sees the text.
bool NestedTooDeep(const std::string& text)
{
    int depth = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '<' || i + 1 >= text.size())
            continue;
        char next = text[i + 1];
        if (next == '/') {
            --depth;
        } else if (next != '?' && next != '!') {
            size_t close = text.find('>', i);
            bool selfClosing = close != std::string::npos && close > i && text[close - 1] == '/';
            if (!selfClosing && ++depth > kMaxIndexDepth)
                return true;
        }
    }
    return false;
}

// A 64-bit decimal with leading blanks and a sign, cut to its low 32 bits.
uint32_t ResIdValue(const char* text)
{
    while (*text && isspace(static_cast<unsigned char>(*text))) ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    uint64_t v = 0;
    for (; *text >= '0' && *text <= '9'; ++text) v = v * 10 + static_cast<uint64_t>(*text - '0');
    if (negative)
        v = ~v + 1;
    return static_cast<uint32_t>(v);
}

const char* ChildText(TiXmlElement* parent, const char* name)
{
    TiXmlElement* child = parent->FirstChildElement(name);
    return child ? child->GetText() : nullptr;
}

}  // namespace

bool ParseIndexXml(const std::string& text, std::vector<ResInfoItem>& items)
{
    if (NestedTooDeep(text))
        return false;
    TiXmlDocument doc;
    std::istringstream in(text);
    in >> doc;
    if (doc.Error())
        return false;
    TiXmlNode* root = doc.FirstChild("root");
    if (!root)
        return false;
    for (TiXmlElement* record = root->FirstChildElement("Record"); record;
         record = record->NextSiblingElement("Record")) {
        ResInfoItem item;
        std::ostringstream xml;
        xml << *record;
        item.RecordXml = xml.str();
        const char* resId = ChildText(record, "ResID");
        if (!resId)
            return false;
        item.ResID = ResIdValue(resId);
        const char* packageId = ChildText(record, "PackageID");
        if (!packageId)
            return false;
        item.PackageID = packageId;
        items.push_back(item);
    }
    return true;
}
