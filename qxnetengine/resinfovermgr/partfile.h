#pragma once
// The package file being downloaded. It is written under a name no package
// can have and takes the package's name only once it is complete; a file
// that is let go unfinished leaves nothing behind. Bytes are gathered and
// written a few hundred KiB at a time: a file system takes large writes
// markedly faster than the 64 KiB pieces they arrive in.

#include <cstdint>
#include <cstdio>
#include <string>

class CPartFile {
public:
    CPartFile() : m_pFile(nullptr), m_nTaken(0) {}
    ~CPartFile() { Abandon(); }

    // Opens (truncating) the part file of the package at packagePath.
    bool Open(const std::string& packagePath);
    bool IsOpen() const { return m_pFile != nullptr; }
    // Bytes taken but not written yet. A receiver may append a piece to
    // them in place and then Commit it.
    std::string& Pending() { return m_strPending; }
    // Takes the n bytes appended to Pending last. Every write is checked:
    // a failed one abandons the file and returns false.
    bool Commit(size_t n);
    bool Write(const char* data, size_t n)
    {
        m_strPending.append(data, n);
        return Commit(n);
    }
    // Bytes taken so far, written or pending.
    uint64_t Taken() const { return m_nTaken; }
    // Closes the complete file and gives it the package's name (written over
    // in place when the game holds the package open). False: nothing is kept.
    bool Finish();
    // Closes and deletes an unfinished file.
    void Abandon();

private:
    static const size_t kWriteChunk = 192 * 1024;

    CPartFile(const CPartFile&) = delete;
    CPartFile& operator=(const CPartFile&) = delete;

    std::string PartPath() const { return m_strPackage + ".part"; }
    bool WritePending();

    FILE* m_pFile;
    std::string m_strPackage;
    std::string m_strPending;
    uint64_t m_nTaken;
};
