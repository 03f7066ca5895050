#pragma once
// The package file being downloaded. It is written under a name no package
// can have and takes the package's name only once it is complete; a file
// that is let go unfinished leaves nothing behind.

#include <cstdint>
#include <cstdio>
#include <string>

class CPartFile {
public:
    CPartFile() : m_pFile(nullptr), m_nWritten(0) {}
    ~CPartFile() { Abandon(); }

    // Opens (truncating) the part file of the package at packagePath.
    bool Open(const std::string& packagePath);
    bool IsOpen() const { return m_pFile != nullptr; }
    // Every write is checked: a short one abandons the file.
    bool Write(const char* data, size_t n);
    uint64_t Written() const { return m_nWritten; }
    // Closes the complete file and gives it the package's name (written over
    // in place when the game holds the package open). False: nothing is kept.
    bool Finish();
    // Closes and deletes an unfinished file.
    void Abandon();

private:
    CPartFile(const CPartFile&) = delete;
    CPartFile& operator=(const CPartFile&) = delete;

    std::string PartPath() const { return m_strPackage + ".part"; }

    FILE* m_pFile;
    std::string m_strPackage;
    uint64_t m_nWritten;
};
