#include "qxnetengine/resinfovermgr/indexxml.h"

#include <tinyxml.h>

#include <cctype>
#include <cstring>
#include <sstream>

namespace {

// TinyXML reads nested elements recursively, twice: its stream input cuts
// the text ending a tag at the first '>' wherever it stands, then its parser
// reads that text honouring quoted attribute values. A deep enough text
// would overflow the stack in either, so depth is measured first as each of
// them reads it. Comments, CDATA and declarations are skipped whole by both.
bool NestedTooDeep(const std::string& text, bool quotesHideTags)
{
    int depth = 0;
    size_t i = 0;
    auto skipPast = [&](const char* end) {
        size_t at = text.find(end, i);
        i = at == std::string::npos ? text.size() : at + strlen(end);
    };
    while ((i = text.find('<', i)) != std::string::npos) {
        if (text.compare(i, 4, "<!--") == 0) {
            skipPast("-->");
        } else if (text.compare(i, 9, "<![CDATA[") == 0) {
            skipPast("]]>");
        } else if (text.compare(i, 2, "<?") == 0 || text.compare(i, 2, "<!") == 0) {
            skipPast(">");
        } else if (text.compare(i, 2, "</") == 0) {
            --depth;
            skipPast(">");
        } else {
            // An opening tag: find its end, outside quoted values when the
            // reading honours them.
            char quote = 0, last = 0;
            for (++i; i < text.size(); ++i) {
                char c = text[i];
                if (quote) {
                    if (c == quote)
                        quote = 0;
                } else if (quotesHideTags && (c == '"' || c == '\'')) {
                    quote = c;
                } else if (c == '>') {
                    break;
                } else if (!isspace(static_cast<unsigned char>(c))) {
                    last = c;
                }
            }
            if (last != '/' && ++depth > kMaxIndexDepth)
                return true;
        }
    }
    return false;
}

// TinyXML's stream reader asserts (and so aborts the process) when a closing
// tag runs into a CDATA opening before its '>'. No well-formed document has
// one; a closing tag that starts after the last '>' before the CDATA is
// taken as one, which also refuses such text inside a comment.
bool ClosingTagRunsIntoCData(const std::string& text)
{
    for (size_t at = text.find("<![CDATA["); at != std::string::npos;
         at = text.find("<![CDATA[", at + 1)) {
        size_t from = text.rfind('>', at);
        from = from == std::string::npos ? 0 : from + 1;
        for (size_t lt = text.find('<', from); lt < at; lt = text.find('<', lt + 1)) {
            size_t next = text.find_first_not_of(" \t\n\v\f\r", lt + 1);
            if (next < at && text[next] == '/')
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

// Read as TinyXML's stream input reads (the text up to the end of the first
// element, then parsed), but the parse runs over a copy with zero bytes
// behind it: TinyXML steps over a UTF-8 sequence by its lead byte alone, and
// a sequence cut short at the end would take it past the end of the text.
class CIndexDocument : public TiXmlDocument {
public:
    void Read(const std::string& text)
    {
        std::istringstream in(text);
        std::string tag;
        StreamIn(&in, &tag);
        tag.append(4, '\0');
        Parse(tag.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
    }
};

}  // namespace

bool ParseIndexXml(const std::string& text, std::vector<ResInfoItem>& items)
{
    // No well-formed document holds a zero byte, and TinyXML's stream reader
    // loops for ever on one inside an element.
    if (text.find('\0') != std::string::npos || NestedTooDeep(text, false) ||
        NestedTooDeep(text, true) ||
        ClosingTagRunsIntoCData(text))
        return false;
    CIndexDocument doc;
    doc.Read(text);
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
