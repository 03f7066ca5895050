#pragma once
// Files and directories.

#include "platform/time.h"

#include <string>
#include <vector>

namespace qxplat {

// True when the directory exists afterwards (made now or already there);
// the parent must exist.
bool CreateDir(const std::string& path);
// True only when this call made the directory: one that is already there
// fails (CreateDirectory). On POSIX only its owner may enter it (0700).
bool CreateDirExclusive(const std::string& path);
// Removes an empty directory. On failure, *missing (when given) tells whether
// the directory was not there while its parent was (ERROR_FILE_NOT_FOUND).
bool RemoveDir(const std::string& path, bool* missing = nullptr);
// Deletes a file, a read-only one too.
bool DeleteFileForce(const std::string& path);
bool FileExists(const std::string& path);
bool IsDirectory(const std::string& path);
// The runtime's access test for reading and writing (_access mode 6): false
// for a missing path or one marked read-only; on POSIX that is one without
// its owner's write permission, whoever asks, as the attribute binds
// everyone on Windows.
bool AccessReadWrite(const std::string& path);
// A symbolic link or a junction (any name-surrogate reparse point on
// Windows); the test does not follow it.
bool IsLink(const std::string& path);
// Makes path a directory when missing (on POSIX writable by its user alone);
// true when it then is a directory, not a link, that no other user could
// have made or may write into: on POSIX owned by the current user without
// write permission for group or others.
bool EnsurePrivateDir(const std::string& path);
// A new directory named prefix followed by random characters, of the current
// user alone (mkdtemp on POSIX); empty when none could be made.
std::string MakeUniqueDir(const std::string& prefix);
// Removes a link itself, never what it points to.
bool DeleteLink(const std::string& path);
// Clears the read-only attribute (SetFileAttributes); on POSIX gives the
// owner write permission, and read and search too on a directory. Links are
// left alone.
bool ClearReadOnly(const std::string& path);
// Renames a file, replacing an existing target (MoveFileEx with
// MOVEFILE_REPLACE_EXISTING; rename on POSIX).
bool MoveFileReplace(const std::string& from, const std::string& to);
// MoveFileReplace for a complete file; when another program holds the target
// open without letting it be replaced (Windows: a sharing refusal, as after
// the C runtime's fopen), from's content is written over it in place and
// from is deleted.
bool ReplaceFileWith(const std::string& from, const std::string& to);
// The last-write time of a file in local time (milliseconds are 0), and
// setting it.
bool GetFileModTime(const std::string& path, TLocalTime* t);
bool SetFileModTime(const std::string& path, const TLocalTime& t);

struct TDirEntry {
    std::string name;     // without the directory; never "." or ".."
    bool isDir = false;   // a directory, or a link to one
    bool isLink = false;  // as IsLink
};
// The entries of a directory; false when it cannot be read.
bool ListDir(const std::string& path, std::vector<TDirEntry>* entries);

// The per-user application-data folder (the user's cache directory on
// POSIX), with its trailing separator; empty when there is none.
std::string AppDataDir();
// The system's directory for temporary files (GetTempPath; TMPDIR or /tmp on
// POSIX), with its trailing separator.
std::string TempDir();

}  // namespace qxplat
