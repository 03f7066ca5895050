#include "platform/files.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

namespace qxplat {

namespace {

// A trailing slash makes lstat and unlink look through a link.
std::string NoTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// The directory that holds path's last component.
std::string ParentOf(const std::string& path)
{
    const std::string p = NoTrailingSlash(path);
    const size_t slash = p.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : p.substr(0, slash);
}

}  // namespace

bool CreateDir(const std::string& path)
{
    if (mkdir(path.c_str(), 0777) == 0)
        return true;
    return errno == EEXIST && IsDirectory(path);
}

bool CreateDirExclusive(const std::string& path) { return mkdir(path.c_str(), 0700) == 0; }

bool RemoveDir(const std::string& path, bool* missing)
{
    if (missing)
        *missing = false;
    if (rmdir(path.c_str()) == 0)
        return true;
    // ENOENT covers a missing parent too, which Windows tells apart.
    if (missing && errno == ENOENT)
        *missing = IsDirectory(ParentOf(path));
    return false;
}

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

bool AccessReadWrite(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) &&
           access(path.c_str(), R_OK | W_OK) == 0;
}

bool IsDirectory(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsLink(const std::string& path)
{
    struct stat st;
    return lstat(NoTrailingSlash(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool EnsurePrivateDir(const std::string& path)
{
    const std::string dir = NoTrailingSlash(path);
    mkdir(dir.c_str(), 0700);
    struct stat st;
    return lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::string MakeUniqueDir(const std::string& prefix)
{
    std::string name = prefix + "XXXXXX";
    return mkdtemp(&name[0]) ? name : std::string();
}

bool DeleteLink(const std::string& path)
{
    return IsLink(path) && unlink(NoTrailingSlash(path).c_str()) == 0;
}

bool ClearReadOnly(const std::string& path)
{
    struct stat st;
    if (lstat(NoTrailingSlash(path).c_str(), &st) != 0 || S_ISLNK(st.st_mode))
        return false;
    mode_t mode = st.st_mode | S_IWUSR;
    if (S_ISDIR(st.st_mode))
        mode |= S_IRUSR | S_IXUSR;
    return mode == st.st_mode || chmod(path.c_str(), mode & 07777) == 0;
}

bool MoveFileReplace(const std::string& from, const std::string& to)
{
    // MoveFileEx moves no directory onto an existing name.
    if (IsDirectory(from) && !IsLink(from))
        return false;
    return rename(from.c_str(), to.c_str()) == 0;
}

bool ReplaceFileWith(const std::string& from, const std::string& to)
{
    // Nothing here refuses a rename for a reader's sake.
    return MoveFileReplace(from, to);
}

bool GetFileModTime(const std::string& path, TLocalTime* t)
{
    struct stat st;
    tm local;
    if (!t || stat(path.c_str(), &st) != 0 || !localtime_r(&st.st_mtime, &local))
        return false;
    *t = TLocalTime{local.tm_year + 1900,
                    local.tm_mon + 1,
                    local.tm_mday,
                    local.tm_hour,
                    local.tm_min,
                    local.tm_sec,
                    0};
    return true;
}

bool SetFileModTime(const std::string& path, const TLocalTime& t)
{
    tm local = {};
    local.tm_year = t.year - 1900;
    local.tm_mon = t.month - 1;
    local.tm_mday = t.day;
    local.tm_hour = t.hour;
    local.tm_min = t.minute;
    local.tm_sec = t.second;
    local.tm_isdst = -1;
    const time_t when = mktime(&local);
    if (when == static_cast<time_t>(-1))
        return false;
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = when;
    times[1].tv_nsec = static_cast<long>(t.millisecond) * 1000000L;
    return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
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
        if (d->d_type == DT_DIR) {
            e.isDir = true;
        } else if (d->d_type == DT_UNKNOWN || d->d_type == DT_LNK) {
            e.isDir = IsDirectory(prefix + name);
            e.isLink = d->d_type == DT_LNK || IsLink(prefix + name);
        }
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

std::string TempDir()
{
    const char* tmp = getenv("TMPDIR");
    std::string dir = tmp && tmp[0] == '/' ? tmp : "/tmp";
    if (dir.back() != '/')
        dir += '/';
    return dir;
}

}  // namespace qxplat
