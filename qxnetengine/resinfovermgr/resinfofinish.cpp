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

}  // namespace

void CResInfoVerMgr::ReadPackageIndex(const TVerFile& file, TPackageIndex* index) const
{
    index->read = true;
    index->failure = nullptr;
    index->items.clear();
    CZipArchive zip;
    if (!zip.Open(PackagePath(file).c_str(), 4, nullptr)) {
        index->failure = "Open zip file failed.";
        return;
    }
    uint32_t nLen = 0;
    if (!zip.ReadItem("1.xml", nullptr, &nLen)) {
        // An index too large to take is refused by the size query already.
        index->failure = zip.GetLastResult() == CZipArchive::kResultNoMemory
                             ? TXT_READ_INDEX_FAILED2
                             : TXT_READ_INDEX_FAILED;
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
        index->failure = TXT_READ_INDEX_FAILED2;
        return;
    }
    ParseIndexXml(strXml, index->items);
    zip.Close();
}

void CResInfoVerMgr::ReadIndexAhead()
{
    // The file before the current one is complete and keeps its content
    // unless a later entry of the list names the same package again.
    if (m_iCurFileIdx == 0 || m_iCurFileIdx > m_vecFiles.size())
        return;
    TPackageIndex& index = m_vecIndexes[m_iCurFileIdx - 1];
    if (!index.read)
        ReadPackageIndex(m_vecFiles[m_iCurFileIdx - 1], &index);
}

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
    for (size_t i = 0; i < m_vecFiles.size(); ++i) {
        TPackageIndex& index = m_vecIndexes[i];
        if (!index.read)
            ReadPackageIndex(m_vecFiles[i], &index);
        if (index.failure) {
            GetLog("NetLog").Write(2, index.failure);
            reporter->OnGetResult(-2, 0, std::vector<ResInfoItem>());
            return;
        }
        arrayResInfo.insert(arrayResInfo.end(), index.items.begin(), index.items.end());
    }
    reporter->OnGetResult(0, m_vecFiles.back().Version, arrayResInfo);
}
