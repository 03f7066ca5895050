#pragma once
// The file store of a resource update: the version asked for and the
// package files of the version list. Package files lie in ResInfo beside the
// library, named Version.SubNo; the one being downloaded is written to the
// running update's part file.

#include "common/protocols/resinfoinner.h"
#include "qxnetengine/resinfovermgr/resinfovergog.h"

#include <cstdint>
#include <string>
#include <vector>

struct TVerFile {
    uint32_t Version = 0;
    int32_t SubNo = 0;
    uint32_t FileSize = 0;
};

// What a package's index gave: its records, or the line that says why it
// could not be read.
struct TPackageIndex {
    bool read = false;
    const char* failure = nullptr;
    std::vector<ResInfoItem> items;
};

class CResInfoVerMgr {
public:
    static CResInfoVerMgr& Instance();

    bool InitDir();
    bool SetVersion(uint32_t version);
    uint32_t GetVersion() const { return m_nVersion; }
    void Reset();
    bool SetVersionList(const ResInfoInner::TVecVersionInfo& list);
    bool GetNextRequest(ResInfoInner::TVersionInfo* file, uint32_t* offset, uint32_t* getLen,
                        IResInfoVerGog* reporter);
    bool SetCurFileInfo(const ResInfoInner::TFileInfo& fileInfo, uint32_t leftLength);
    // Bytes still missing from the current file (0: complete), or below 0
    // when the data cannot be written or runs past the file's size.
    int64_t SetFileContent(const char* data, uint32_t n);
    // The current file's bytes gathered for writing, for a receiver that
    // joins a piece straight onto them; none while no file is open.
    std::string* PendingContent();
    // As SetFileContent, for n bytes already appended to PendingContent.
    int64_t CommitFileContent(uint32_t n);
    // Reads the index of every package and reports the result.
    void OnFinish(IResInfoVerGog* reporter);
    // Reads the index of the package completed last, for OnFinish, while
    // the server prepares the next file.
    void ReadIndexAhead();

    const std::string& GetDir() const { return m_strDir; }
    std::string PackagePath(const TVerFile& file) const;

private:
    CResInfoVerMgr();
    ~CResInfoVerMgr() {}
    CResInfoVerMgr(const CResInfoVerMgr&) = delete;
    CResInfoVerMgr& operator=(const CResInfoVerMgr&) = delete;

    void ReadPackageIndex(const TVerFile& file, TPackageIndex* index) const;

    uint32_t m_nVersion;
    std::string m_strDir;
    std::vector<TVerFile> m_vecFiles;
    std::vector<TPackageIndex> m_vecIndexes;  // one per file, read when it is complete
    uint32_t m_iCurFileIdx;
};
