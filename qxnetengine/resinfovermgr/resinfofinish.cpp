#include "common/texts/texts.h"
#include "qxnetengine/archive/ziparchive.h"
#include "qxnetengine/log/logfile.h"
#include "qxnetengine/resinfovermgr/indexxml.h"
#include "qxnetengine/resinfovermgr/resinfovermgr.h"

#include <new>
#include <vector>

namespace {

// An index beyond this size is taken as unreadable rather than allocated.
const uint32_t kMaxIndexSize = 16u << 20;

void Failed(IResInfoVerGog* reporter, const char* text)
{
    GetLog("NetLog").Write(2, text);
    reporter->OnGetResult(-2, 0, std::vector<ResInfoItem>());
}

}  // namespace

void CResInfoVerMgr::OnFinish(IResInfoVerGog* reporter)
{
    if (!reporter)
        return;
    if (m_vecFiles.empty()) {
        GetLog("NetLog").Write(2, "[%s] 1", "CResInfoVerMgr::OnFinish");
        reporter->OnGetResult(-2, 0, std::vector<ResInfoItem>());
        return;
    }
    std::vector<ResInfoItem> arrayResInfo;
    for (const TVerFile& file : m_vecFiles) {
        CZipArchive zip;
        if (!zip.Open(PackagePath(file).c_str(), 4, nullptr)) {
            Failed(reporter, "Open zip file failed.");
            return;
        }
        uint32_t nLen = 0;
        if (!zip.ReadItem("1.xml", nullptr, &nLen)) {
            // An index too large to take is refused by the size query already.
            Failed(reporter, zip.GetLastResult() == CZipArchive::kResultNoMemory
                                 ? TXT_READ_INDEX_FAILED2
                                 : TXT_READ_INDEX_FAILED);
            return;
        }
        std::string strXml;
        bool read = nLen <= kMaxIndexSize;
        if (read) {
            std::vector<char> xmlData;
            try {
                xmlData.resize(nLen ? nLen : 1);
            } catch (const std::bad_alloc&) {
                read = false;
            }
            read = read && zip.ReadItem("1.xml", xmlData.data(), &nLen);
            if (read)
                strXml.assign(xmlData.data(), nLen);
        }
        if (!read) {
            Failed(reporter, TXT_READ_INDEX_FAILED2);
            return;
        }
        ParseIndexXml(strXml, arrayResInfo);
        zip.Close();
    }
    reporter->OnGetResult(0, m_vecFiles.back().Version, arrayResInfo);
}
