#include "qxnetengine/resinfovermgr/partfile.h"

#include "platform/files.h"

bool CPartFile::Open(const std::string& packagePath)
{
    Abandon();
    m_strPackage = packagePath;
    m_nWritten = 0;
    m_pFile = fopen(PartPath().c_str(), "wb");
    return m_pFile != nullptr;
}

bool CPartFile::Write(const char* data, size_t n)
{
    if (!m_pFile)
        return false;
    if (n && fwrite(data, 1, n, m_pFile) != n) {
        Abandon();
        return false;
    }
    m_nWritten += n;
    return true;
}

bool CPartFile::Finish()
{
    if (!m_pFile)
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
    if (!m_pFile)
        return;
    fclose(m_pFile);
    m_pFile = nullptr;
    qxplat::DeleteFileForce(PartPath());
}
