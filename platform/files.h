#pragma once
// Files and directories.

#include <string>
#include <vector>

namespace qxplat {

// True when the directory exists afterwards (made now or already there);
// the parent must exist.
bool CreateDir(const std::string& path);
// Removes an empty directory.
bool RemoveDir(const std::string& path);
// Deletes a file, a read-only one too.
bool DeleteFileForce(const std::string& path);
bool FileExists(const std::string& path);
bool IsDirectory(const std::string& path);

struct TDirEntry {
    std::string name;  // without the directory; never "." or ".."
    bool isDir = false;
};
// The entries of a directory; false when it cannot be read.
bool ListDir(const std::string& path, std::vector<TDirEntry>* entries);

// The per-user application-data folder (the user's cache directory on
// POSIX), with its trailing separator; empty when there is none.
std::string AppDataDir();

}  // namespace qxplat
