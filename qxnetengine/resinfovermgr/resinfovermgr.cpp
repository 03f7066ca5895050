#include "qxnetengine/resinfovermgr/resinfovermgr.h"

#include "qxnetengine/resinfovermgr/updatesession.h"

#include "platform/files.h"
#include "platform/paths.h"

#include <boost/format.hpp>

using ResInfoInner::TFileInfo;
using ResInfoInner::TVecVersionInfo;
using ResInfoInner::TVersionInfo;

namespace {

// The running update's part file; none when no update runs.
CPartFile* CurrentPart()
{
    CUpdateSession* session = CUpdateSession::Current();
    return session ? &session->PartFile() : nullptr;
}

}  // namespace

CResInfoVerMgr& CResInfoVerMgr::Instance()
{
    static CResInfoVerMgr instance;
    return instance;
}

CResInfoVerMgr::CResInfoVerMgr()
    : m_nVersion(0), m_iCurFileIdx(0)
{
}

bool CResInfoVerMgr::InitDir()
{
    m_strDir = qxplat::LibraryDir() + "ResInfo" + qxplat::kPathSep;
    qxplat::CreateDir(m_strDir);
    // A folder marked read-only could never take the packages: the version
    // asked for is then not stored, and the previous one is asked again.
    return qxplat::IsDirectory(m_strDir) && qxplat::AccessReadWrite(m_strDir);
}

bool CResInfoVerMgr::SetVersion(uint32_t version)
{
    if (!InitDir())
        return false;
    m_nVersion = version;
    return true;
}

void CResInfoVerMgr::Reset()
{
    m_vecFiles.clear();
    m_vecIndexes.clear();
    if (CPartFile* part = CurrentPart())
        part->Abandon();
    m_iCurFileIdx = 0;
}

bool CResInfoVerMgr::SetVersionList(const TVecVersionInfo& list)
{
    Reset();
    if (list.empty())
        return false;
    for (const TVersionInfo& v : list) {
        TVerFile f;
        f.Version = v.Version;
        f.SubNo = v.SubNo;
        m_vecFiles.push_back(f);
    }
    m_vecIndexes.resize(m_vecFiles.size());
    return true;
}

bool CResInfoVerMgr::GetNextRequest(TVersionInfo* file, uint32_t* offset, uint32_t* getLen,
                                    IResInfoVerGog* reporter)
{
    if (m_iCurFileIdx < m_vecFiles.size()) {
        file->Version = m_vecFiles[m_iCurFileIdx].Version;
        file->SubNo = m_vecFiles[m_iCurFileIdx].SubNo;
        *offset = 0;
        *getLen = ResInfoInner::CResInfoInner::kWholeRest;
        return true;
    }
    OnFinish(reporter);
    return false;
}

std::string CResInfoVerMgr::PackagePath(const TVerFile& file) const
{
    // The version prints unsigned, the sub-number signed.
    return (boost::format("%s%u.%d") % m_strDir % file.Version % file.SubNo).str();
}

bool CResInfoVerMgr::SetCurFileInfo(const TFileInfo& fileInfo, uint32_t)
{
    CPartFile* part = CurrentPart();
    if (!part || m_iCurFileIdx >= m_vecFiles.size())
        return false;
    m_vecFiles[m_iCurFileIdx].FileSize = fileInfo.FileSize;
    return part->Open(PackagePath(m_vecFiles[m_iCurFileIdx]));
}

int64_t CResInfoVerMgr::SetFileContent(const char* data, uint32_t n)
{
    std::string* pending = PendingContent();
    if (!pending)
        return -1;
    pending->append(data, n);
    return CommitFileContent(n);
}

std::string* CResInfoVerMgr::PendingContent()
{
    CPartFile* part = CurrentPart();
    if (!part || !part->IsOpen() || m_iCurFileIdx >= m_vecFiles.size())
        return nullptr;
    return &part->Pending();
}

int64_t CResInfoVerMgr::CommitFileContent(uint32_t n)
{
    CPartFile* part = CurrentPart();
    if (!part || !part->IsOpen() || m_iCurFileIdx >= m_vecFiles.size())
        return -1;
    if (!part->Commit(n))
        return -1;
    const TVerFile& file = m_vecFiles[m_iCurFileIdx];
    int64_t missing = static_cast<int64_t>(file.FileSize) - static_cast<int64_t>(part->Taken());
    if (missing < 0) {
        part->Abandon();
        return missing;
    }
    if (missing > 0)
        return missing;
    if (!part->Finish())
        return -1;
    // A package named twice in the list is read as it is in the end.
    for (size_t i = 0; i < m_iCurFileIdx; ++i)
        if (m_vecFiles[i].Version == file.Version && m_vecFiles[i].SubNo == file.SubNo)
            m_vecIndexes[i] = TPackageIndex();
    ++m_iCurFileIdx;
    return 0;
}
