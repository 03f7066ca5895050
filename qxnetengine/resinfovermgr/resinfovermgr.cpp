#include "qxnetengine/resinfovermgr/resinfovermgr.h"

#include "platform/files.h"
#include "platform/paths.h"

#include <boost/format.hpp>

using ResInfoInner::TFileInfo;
using ResInfoInner::TVecVersionInfo;
using ResInfoInner::TVersionInfo;

CResInfoVerMgr& CResInfoVerMgr::Instance()
{
    static CResInfoVerMgr instance;
    return instance;
}

CResInfoVerMgr::CResInfoVerMgr()
    : m_nVersion(0), m_iCurFileIdx(0), m_curFile(nullptr), m_nWritten(0)
{
}

CResInfoVerMgr::~CResInfoVerMgr() { DropPart(); }

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
    DropPart();
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

std::string CResInfoVerMgr::PartPath() const
{
    return PackagePath(m_vecFiles[m_iCurFileIdx]) + ".part";
}

void CResInfoVerMgr::DropPart()
{
    if (!m_curFile)
        return;
    fclose(m_curFile);
    m_curFile = nullptr;
    if (m_iCurFileIdx < m_vecFiles.size())
        qxplat::DeleteFileForce(PartPath());
}

bool CResInfoVerMgr::SetCurFileInfo(const TFileInfo& fileInfo, uint32_t)
{
    if (m_iCurFileIdx >= m_vecFiles.size())
        return false;
    m_vecFiles[m_iCurFileIdx].FileSize = fileInfo.FileSize;
    DropPart();
    m_curFile = fopen(PartPath().c_str(), "wb");
    m_nWritten = 0;
    return m_curFile != nullptr;
}

int64_t CResInfoVerMgr::SetFileContent(const char* data, uint32_t n)
{
    if (!m_curFile || m_iCurFileIdx >= m_vecFiles.size())
        return -1;
    // Every write is checked: a short write is a failed download, and the
    // unfinished file never takes the package's name.
    if (n && fwrite(data, 1, n, m_curFile) != n) {
        DropPart();
        return -1;
    }
    m_nWritten += n;
    const TVerFile& file = m_vecFiles[m_iCurFileIdx];
    int64_t missing = static_cast<int64_t>(file.FileSize) - static_cast<int64_t>(m_nWritten);
    if (missing < 0) {
        DropPart();
        return missing;
    }
    if (missing > 0)
        return missing;
    bool written = fflush(m_curFile) == 0;
    written = fclose(m_curFile) == 0 && written;
    m_curFile = nullptr;
    // A package the game holds open is written over in place.
    if (!written || !qxplat::ReplaceFileWith(PartPath(), PackagePath(file))) {
        qxplat::DeleteFileForce(PartPath());
        return -1;
    }
    ++m_iCurFileIdx;
    return 0;
}
