#pragma once
// A ZIP archive read item by item into memory (mode 4), created (mode 2) or
// modified through a temporary directory (mode 1).
//
// Result codes: 0 success; positive, an error of the ZIP library (minizip's
// and zlib's codes with their sign turned); negative, the class's own.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class CZipArchive {
public:
    enum { kModeModify = 1, kModeCreate = 2, kModeRead = 4 };
    enum { kErrModeMismatch = -1, kErrNotOpened = -2, kErrParam = -3 };
    // Largest item that ReadItem extracts; a larger one fails its size query
    // too, with the last result kResultNoMemory.
    static const uint32_t kMaxItemSize = 16u * 1024 * 1024;
    static const int32_t kResultNoMemory = 4;

    CZipArchive();
    ~CZipArchive();

    // path: the archive file; mode: one of the modes above; password: none
    // (a non-empty one is refused with kErrParam). An archive written in
    // modes 1 and 2 goes to a new file beside path, which replaces path only
    // when Close completes it.
    bool Open(const char* path, int mode, const char* password = nullptr);

    // Looks name up in the item index (names relative to the archive root,
    // "/" or "\" between folders). Without buffer, sets *length to the item's
    // size; otherwise extracts exactly that many bytes when *length is large
    // enough (else *length becomes the size and the call fails). The content
    // must match its CRC.
    bool ReadItem(const char* name, void* buffer, uint32_t* length);

    // Adds the file on disk under name ("\" becomes "/"). Names that are
    // absolute or climb out with ".." are refused with kErrParam.
    bool AddFile(const char* name, const char* file);
    // Adds every file below dir, recursively, under prefix/relative path.
    // Stops at the first failure (a link counts as one) and reports false.
    bool AddFolderTree(const char* prefix, const char* dir);

    // Forgets the index and closes the archive. A written archive replaces
    // its target only when every write succeeded; false otherwise, with the
    // writer's error kept as the last result.
    bool Close();

    int32_t GetLastResult() const { return m_nLastResult; }
    // Constant texts, so any thread may ask.
    static const char* GetErrorText(int32_t code);

private:
    CZipArchive(const CZipArchive&) = delete;
    CZipArchive& operator=(const CZipArchive&) = delete;

    struct TItemPos {
        uint64_t dirOffset;
        uint64_t number;
    };

    bool OpenRead(const std::string& path);
    bool OpenCreate(const std::string& path);
    bool OpenModify(const std::string& path);
    bool ExtractAllTo(const std::string& dir);
    bool AddTree(const std::string& prefix, const std::string& dir);
    bool WriteFileItem(const std::string& name, const std::string& file);
    // Closes the handle; an unfinished new archive is deleted, its target
    // left as it was.
    void Release(bool keepWritten);
    bool Fail(int32_t code)
    {
        m_nLastResult = code;
        return false;
    }
    bool FailWrite(int32_t code);

    void* m_hZip;
    int32_t m_nLastResult;
    bool m_bWrite;
    std::map<std::string, int32_t> m_mapItems;

    std::vector<TItemPos> m_vecItemPos;  // by index position
    std::string m_strTarget;             // the archive a written one replaces
    std::string m_strNewFile;            // the new archive beside it
    int32_t m_nWriteError;               // the first failure inside the new archive
};
