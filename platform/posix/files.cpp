#include "platform/files.h"

#include <dirent.h>
#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace qxplat {

bool CreateDir(const std::string& path)
{
    if (mkdir(path.c_str(), 0777) == 0)
        return true;
    return errno == EEXIST && IsDirectory(path);
}

bool RemoveDir(const std::string& path) { return rmdir(path.c_str()) == 0; }

bool DeleteFileForce(const std::string& path)
{
    // unlink asks only the directory's permission, so a read-only file (no
    // write bits) goes as well; like DeleteFile, it takes no directory.
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    return unlink(path.c_str()) == 0;
}

bool FileExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ListDir(const std::string& path, std::vector<TDirEntry>* entries)
{
    if (!entries || path.empty())
        return false;
    DIR* dir = opendir(path.c_str());
    if (!dir)
        return false;
    entries->clear();
    const std::string prefix = path.back() == '/' ? path : path + '/';
    while (dirent* d = readdir(dir)) {
        const std::string name = d->d_name;
        if (name == "." || name == "..")
            continue;
        TDirEntry e;
        e.name = name;
        if (d->d_type == DT_DIR)
            e.isDir = true;
        else if (d->d_type == DT_UNKNOWN || d->d_type == DT_LNK)
            e.isDir = IsDirectory(prefix + name);
        entries->push_back(e);
    }
    closedir(dir);
    return true;
}

std::string AppDataDir()
{
    // The XDG rule: a relative XDG_CACHE_HOME is ignored.
    std::string dir;
    const char* cache = getenv("XDG_CACHE_HOME");
    const char* home = getenv("HOME");
    if (cache && cache[0] == '/')
        dir = cache;
    else if (home && home[0])
        dir = std::string(home) + (home[strlen(home) - 1] == '/' ? "" : "/") + ".cache";
    else
        return std::string();
    if (dir.back() != '/')
        dir += '/';
    // Made when missing, as CSIDL_FLAG_CREATE does on Windows.
    mkdir(dir.c_str(), 0700);
    return dir;
}

}  // namespace qxplat
