#pragma once
// Self-deleting temporary directories and recursive directory removal, used
// to modify ZIP archives.

#include "common/lock/lock.h"

#include <string>

class CTempDir {
public:
    // Makes a fresh directory under GetRootDir(); autoDelete removes it with
    // everything in it on destruction.
    explicit CTempDir(bool autoDelete = true);
    ~CTempDir();

    // The directory with its trailing separator, or null when none was made.
    const char* GetPath() const { return m_strPath.empty() ? nullptr : m_strPath.c_str(); }

    // "ZIPTemp" in the user's application-data folder (the cache or the
    // temporary directory on POSIX), with its trailing separator.
    static std::string GetRootDir();

private:
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    CCritSection m_Lock;
    std::string m_strPath;
    bool m_bAutoDelete;
};

// recursive: DeleteDirTree; otherwise removes the empty directory, true also
// when it is already gone from an existing parent. False for a null or empty
// path.
bool DeleteDir(const char* path, bool recursive);

// Deletes everything under path, read-only files and directories too, then
// path itself; true when path is gone. A link (also path itself) is removed
// as a link: nothing it points to is touched.
bool DeleteDirTree(const char* path);
