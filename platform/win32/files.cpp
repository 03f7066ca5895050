#include "platform/files.h"

#include <windows.h>

#include <shlobj.h>

namespace qxplat {

bool CreateDir(const std::string& path)
{
    if (CreateDirectoryA(path.c_str(), nullptr))
        return true;
    return GetLastError() == ERROR_ALREADY_EXISTS && IsDirectory(path);
}

bool RemoveDir(const std::string& path) { return RemoveDirectoryA(path.c_str()) != FALSE; }

bool DeleteFileForce(const std::string& path)
{
    DWORD attr = GetFileAttributesA(path.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES || (attr & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    // DeleteFile refuses a read-only file.
    if (attr & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileA(path.c_str()) != FALSE;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::string& path)
{
    DWORD attr = GetFileAttributesA(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool ListDir(const std::string& path, std::vector<TDirEntry>* entries)
{
    if (!entries || path.empty())
        return false;
    std::string pattern = path;
    if (pattern.back() != '\\' && pattern.back() != '/')
        pattern += '\\';
    pattern += '*';
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA(pattern.c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) {
        // Only a drive's empty root has no "." entry to find.
        if (GetLastError() != ERROR_FILE_NOT_FOUND)
            return false;
        entries->clear();
        return true;
    }
    entries->clear();
    do {
        const std::string name = fd.cFileName;
        if (name == "." || name == "..")
            continue;
        TDirEntry e;
        e.name = name;
        e.isDir = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entries->push_back(e);
    } while (FindNextFileA(find, &fd));
    FindClose(find);
    return true;
}

std::string AppDataDir()
{
    char path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                                SHGFP_TYPE_CURRENT, path)))
        return std::string();
    std::string dir(path);
    if (!dir.empty() && dir.back() != '\\')
        dir += '\\';
    return dir;
}

}  // namespace qxplat
