#include "platform/files.h"

#include <windows.h>

#include <io.h>

#include <shlobj.h>

#include <vector>

namespace qxplat {

bool CreateDir(const std::string& path)
{
    if (CreateDirectoryA(path.c_str(), nullptr))
        return true;
    return GetLastError() == ERROR_ALREADY_EXISTS && IsDirectory(path);
}

bool CreateDirExclusive(const std::string& path)
{
    return CreateDirectoryA(path.c_str(), nullptr) != FALSE;
}

bool EnsurePrivateDir(const std::string& path)
{
    // Under the user's own profile nobody else makes or redirects folders.
    CreateDir(path);
    return IsDirectory(path) && !IsLink(path);
}

std::string MakeUniqueDir(const std::string& prefix)
{
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    unsigned long long seed = static_cast<unsigned long long>(now.QuadPart) ^ GetCurrentProcessId();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = prefix;
        for (int i = 0; i < 6; ++i) {
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
            name += kChars[(seed >> 33) % (sizeof kChars - 1)];
        }
        if (CreateDirectoryA(name.c_str(), nullptr))
            return name;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    return std::string();
}

bool RemoveDir(const std::string& path, bool* missing)
{
    if (missing)
        *missing = false;
    if (RemoveDirectoryA(path.c_str()))
        return true;
    if (missing)
        *missing = GetLastError() == ERROR_FILE_NOT_FOUND;
    return false;
}

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

bool AccessReadWrite(const std::string& path) { return _access(path.c_str(), 6) == 0; }

bool IsDirectory(const std::string& path)
{
    DWORD attr = GetFileAttributesA(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {

// Junctions, symbolic links and mount points name another object; other
// reparse points (dedup, cloud placeholders) hold their own data. A reparse
// point without a tag (Wine fills in none) is taken as a link: never follow
// what might lead out of a tree.
bool IsLinkEntry(const WIN32_FIND_DATAA& fd)
{
    return (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           (fd.dwReserved0 == 0 || IsReparseTagNameSurrogate(fd.dwReserved0));
}

std::string NoTrailingSeparator(const std::string& path)
{
    std::string p = path;
    // Keep a drive root whole: "X:" alone names the drive's current directory.
    while (p.size() > 1 && (p.back() == '\\' || p.back() == '/') && !(p.size() == 3 && p[1] == ':'))
        p.pop_back();
    return p;
}

}  // namespace

bool IsLink(const std::string& path)
{
    std::string p = NoTrailingSeparator(path);
    DWORD attr = GetFileAttributesA(p.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES || !(attr & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    // Only the directory entry carries the reparse tag.
    WIN32_FIND_DATAA fd = {};
    HANDLE find = FindFirstFileA(p.c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    FindClose(find);
    return IsLinkEntry(fd);
}

bool DeleteLink(const std::string& path)
{
    std::string p = NoTrailingSeparator(path);
    if (!IsLink(p))
        return false;
    // A link to a directory is itself a directory entry; removing it leaves
    // the target alone.
    DWORD attr = GetFileAttributesA(p.c_str());
    if (attr & FILE_ATTRIBUTE_DIRECTORY)
        return RemoveDirectoryA(p.c_str()) != FALSE;
    return DeleteFileA(p.c_str()) != FALSE;
}

bool ClearReadOnly(const std::string& path)
{
    DWORD attr = GetFileAttributesA(path.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES || IsLink(path))
        return false;
    if (!(attr & FILE_ATTRIBUTE_READONLY))
        return true;
    return SetFileAttributesA(path.c_str(), attr & ~FILE_ATTRIBUTE_READONLY) != FALSE;
}

bool MoveFileReplace(const std::string& from, const std::string& to)
{
    // Files only, as rename() of a directory over a file fails on POSIX.
    DWORD attr = GetFileAttributesA(from.c_str());
    if (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) && !IsLink(from))
        return false;
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

namespace {

bool OverwriteInPlace(const std::string& from, const std::string& to)
{
    HANDLE in = CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (in == INVALID_HANDLE_VALUE)
        return false;
    // Shared as a reader that holds the file lets it be shared.
    HANDLE out = CreateFileA(to.c_str(), GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool ok = out != INVALID_HANDLE_VALUE;
    std::vector<char> buffer(64 * 1024);
    for (DWORD got = 0;
         ok && ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) &&
         got > 0;) {
        DWORD put = 0;
        ok = WriteFile(out, buffer.data(), got, &put, nullptr) && put == got;
    }
    ok = ok && SetEndOfFile(out) && FlushFileBuffers(out);
    if (out != INVALID_HANDLE_VALUE)
        CloseHandle(out);
    CloseHandle(in);
    return ok && DeleteFileA(from.c_str());
}

}  // namespace

bool ReplaceFileWith(const std::string& from, const std::string& to)
{
    if (MoveFileReplace(from, to))
        return true;
    DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED)
        return false;
    return OverwriteInPlace(from, to);
}

bool GetFileModTime(const std::string& path, TLocalTime* t)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    FILETIME local;
    SYSTEMTIME st;
    if (!t || !GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        !FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) ||
        !FileTimeToSystemTime(&local, &st))
        return false;
    *t = TLocalTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, 0};
    return true;
}

bool SetFileModTime(const std::string& path, const TLocalTime& t)
{
    SYSTEMTIME st = {};
    st.wYear = static_cast<WORD>(t.year);
    st.wMonth = static_cast<WORD>(t.month);
    st.wDay = static_cast<WORD>(t.day);
    st.wHour = static_cast<WORD>(t.hour);
    st.wMinute = static_cast<WORD>(t.minute);
    st.wSecond = static_cast<WORD>(t.second);
    st.wMilliseconds = static_cast<WORD>(t.millisecond);
    FILETIME local, utc;
    if (!SystemTimeToFileTime(&st, &local) || !LocalFileTimeToFileTime(&local, &utc))
        return false;
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = SetFileTime(file, nullptr, nullptr, &utc) != FALSE;
    CloseHandle(file);
    return ok;
}

bool ListDir(const std::string& path, std::vector<TDirEntry>* entries)
{
    if (!entries || path.empty())
        return false;
    std::string pattern = path;
    if (pattern.back() != '\\' && pattern.back() != '/')
        pattern += '\\';
    pattern += '*';
    WIN32_FIND_DATAA fd = {};
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
        e.isLink = IsLinkEntry(fd);
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

std::string TempDir()
{
    char path[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathA(sizeof path, path);
    if (n == 0 || n > MAX_PATH)
        return std::string();
    std::string dir(path, n);
    if (dir.back() != '\\')
        dir += '\\';
    return dir;
}

}  // namespace qxplat
