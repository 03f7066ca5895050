#include "qxnetengine/resinfovermgr/partfile.h"

#include "platform/files.h"

bool CPartFile::Open(const std::string& packagePath)
{
    Abandon();
    m_strPackage = packagePath;
    m_nTaken = 0;
    m_pFile = fopen(PartPath().c_str(), "wb");
    if (!m_pFile)
        return false;
    // The gathered bytes are the buffer: each write goes to the system whole.
    setvbuf(m_pFile, nullptr, _IONBF, 0);
    m_strPending.reserve(kWriteChunk + 64 * 1024);
    return true;
}

bool CPartFile::WritePending()
{
    if (!m_pFile)
        return false;
    if (!m_strPending.empty() &&
        fwrite(m_strPending.data(), 1, m_strPending.size(), m_pFile) != m_strPending.size()) {
        Abandon();
        return false;
    }
    m_strPending.clear();
    return true;
}

bool CPartFile::Commit(size_t n)
{
    if (!m_pFile) {
        m_strPending.clear();
        return false;
    }
    m_nTaken += n;
    return m_strPending.size() < kWriteChunk || WritePending();
}

bool CPartFile::Finish()
{
    if (!m_pFile || !WritePending())
        return false;
    bool written = fflush(m_pFile) == 0;
    written = fclose(m_pFile) == 0 && written;
    m_pFile = nullptr;
    if (written && qxplat::ReplaceFileWith(PartPath(), m_strPackage))
        return true;
    qxplat::DeleteFileForce(PartPath());
    return false;
}

void CPartFile::Abandon()
{
    m_strPending.clear();
    if (!m_pFile)
        return;
    fclose(m_pFile);
    m_pFile = nullptr;
    qxplat::DeleteFileForce(PartPath());
}
