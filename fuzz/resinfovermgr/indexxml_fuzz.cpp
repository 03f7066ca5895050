// ParseIndexXml on arbitrary text: the 1.xml a package file brings.
#include "qxnetengine/resinfovermgr/indexxml.h"
#include "support/fuzzcheck.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<ResInfoItem> items;
    ParseIndexXml(text, items);
    // Every record found was written as one.
    size_t records = 0;
    for (size_t at = text.find("Record"); at != std::string::npos; at = text.find("Record", at + 1))
        ++records;
    FUZZ_CHECK(items.size() <= records);
    for (const ResInfoItem& item : items)
        FUZZ_CHECK(item.RecordXml.find("Record") != std::string::npos);
    return 0;
}
