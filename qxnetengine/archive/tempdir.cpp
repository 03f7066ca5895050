#include "qxnetengine/archive/tempdir.h"

#include "common/randgen/randgen.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/thread.h"
#include "platform/time.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <vector>

namespace {

const int kMaxCandidates = 100;

std::string Hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(value));
    return text;
}

bool IsSep(char c) { return c == '/' || c == qxplat::kPathSep; }

std::string WithSep(const std::string& dir)
{
    return !dir.empty() && IsSep(dir.back()) ? dir : dir + qxplat::kPathSep;
}

// Without trailing separators, so that a link is named and not its target.
std::string WithoutSep(std::string dir)
{
    while (dir.size() > 1 && IsSep(dir.back())) dir.pop_back();
    return dir;
}

bool DeleteTree(const std::string& dir)
{
    // Entries of a read-only directory cannot go on POSIX, nor the directory
    // itself on Windows.
    if (qxplat::IsDirectory(dir))
        qxplat::ClearReadOnly(dir);
    std::vector<qxplat::TDirEntry> entries;
    if (qxplat::ListDir(dir, &entries)) {
        const std::string prefix = WithSep(dir);
        for (const qxplat::TDirEntry& e : entries) {
            const std::string child = prefix + e.name;
            if (e.isLink)
                qxplat::DeleteLink(child);
            else if (e.isDir)
                DeleteTree(child);
            else
                qxplat::DeleteFileForce(child);
        }
    }
    return qxplat::RemoveDir(dir);
}

}  // namespace

std::string CTempDir::GetRootDir()
{
    std::string base = qxplat::AppDataDir();
    if (base.empty())
        base = qxplat::TempDir();
    if (base.empty())
        return std::string();
    const std::string root = WithSep(base) + "ZIPTemp";
    if (qxplat::EnsurePrivateDir(root))
        return root + qxplat::kPathSep;
    // Another user's folder, or a link, stands there (a shared temporary
    // folder): one of our own instead, made once per such place.
    static CCritSection lock;
    static std::map<std::string, std::string> own;
    CAutoLock hold(&lock);
    std::string& mine = own[root];
    if (mine.empty() || !qxplat::EnsurePrivateDir(mine))
        mine = qxplat::MakeUniqueDir(root + ".");
    return mine.empty() ? std::string() : mine + qxplat::kPathSep;
}

CTempDir::CTempDir(bool autoDelete) : m_bAutoDelete(autoDelete)
{
    const std::string root = GetRootDir();
    if (root.empty() || !qxplat::CreateDir(WithoutSep(root)))
        return;
    std::string candidate = root + Hex(qxplat::CurrentThreadId()) + Hex(qxplat::TickCountMs());
    CAutoLock lock(&m_Lock);
    // Only a directory our own call made is ours: thread ids repeat across
    // processes, so one that is already there may belong to someone else.
    for (int i = 0; i < kMaxCandidates; ++i) {
        if (qxplat::CreateDirExclusive(candidate)) {
            m_strPath = candidate + qxplat::kPathSep;
            return;
        }
        candidate += Hex(static_cast<uint32_t>(CRandGen::ForThread().Next()));
    }
}

CTempDir::~CTempDir()
{
    if (!m_strPath.empty() && m_bAutoDelete && !DeleteDirTree(m_strPath.c_str()))
        std::printf("Delete [%s] failed!\n", m_strPath.c_str());
}

bool DeleteDir(const char* path, bool recursive)
{
    if (!path || !*path)
        return false;
    if (recursive)
        return DeleteDirTree(path);
    bool missing = false;
    return qxplat::RemoveDir(path, &missing) || missing;
}

bool DeleteDirTree(const char* path)
{
    if (!path || !*path)
        return false;
    const std::string dir = WithoutSep(path);
    if (qxplat::IsLink(dir))
        return qxplat::DeleteLink(dir);
    return DeleteTree(dir);
}
