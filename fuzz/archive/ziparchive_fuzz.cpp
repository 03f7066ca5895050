// CZipArchive on an arbitrary file. It is opened for reading and every item
// its central directory names is looked up and read (size, then contents,
// twice alike). A small archive that opens is then modified in place, which
// extracts every item into a temporary directory and packs them again:
// nothing may land outside that directory, and nothing may stay behind.
#include "platform/files.h"
#include "qxnetengine/archive/tempdir.h"
#include "qxnetengine/archive/ziparchive.h"
#include "support/fuzzcheck.h"

#include <minizip/unzip.h>

#include <stdlib.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Only small archives are extracted: a few items, a little data.
const size_t kMaxModifyItems = 16;
const uint64_t kMaxModifyBytes = 1 << 20;
// Larger items are only measured, not read.
const uint32_t kMaxReadBytes = 4 << 20;

struct TWorkDir {
    std::string root;   // private to this process; the temporary directories go below it
    std::string files;  // holds the archive and nothing else
    std::string archive;
};

void RemoveWorkDir();

const TWorkDir& WorkDir()
{
    // Never destroyed: the exit handler below still needs it.
    static const TWorkDir& dir = *[] {
        TWorkDir& d = *new TWorkDir;
        std::string pattern = qxplat::TempDir() + "qxfuzz-zip-XXXXXX";
        FUZZ_CHECK(mkdtemp(&pattern[0]) != nullptr);
        d.root = pattern + "/";
        d.files = d.root + "files/";
        d.archive = d.files + "in.zip";
        FUZZ_CHECK(qxplat::CreateDir(d.files));
        // Temporary directories are made under the user's cache directory.
        setenv("XDG_CACHE_HOME", (d.root + "cache").c_str(), 1);
        atexit(RemoveWorkDir);
        return &d;
    }();
    return dir;
}

void RemoveWorkDir() { DeleteDirTree(WorkDir().root.c_str()); }

std::vector<std::string> Names(const std::string& dir)
{
    std::vector<qxplat::TDirEntry> entries;
    std::vector<std::string> names;
    if (qxplat::ListDir(dir, &entries))
        for (const qxplat::TDirEntry& e : entries) names.push_back(e.name);
    return names;
}

struct TItem {
    std::string name;
    uint64_t size;
};

// The items as minizip lists them; false when it cannot list them all.
bool ListItems(const std::string& path, std::vector<TItem>* items)
{
    unzFile zf = unzOpen64(path.c_str());
    if (!zf)
        return false;
    int rc = unzGoToFirstFile(zf);
    while (rc == UNZ_OK && items->size() <= kMaxModifyItems) {
        char name[1024];
        unz_file_info64 info;
        rc = unzGetCurrentFileInfo64(zf, &info, name, sizeof name, nullptr, 0, nullptr, 0);
        if (rc != UNZ_OK)
            break;
        items->push_back(TItem{name, info.uncompressed_size});
        rc = unzGoToNextFile(zf);
    }
    unzClose(zf);
    return rc == UNZ_END_OF_LIST_OF_FILE;
}

void ReadEveryItem(const std::string& path, const std::vector<TItem>& items)
{
    CZipArchive zip;
    if (!zip.Open(path.c_str(), CZipArchive::kModeRead))
        return;
    for (const TItem& item : items) {
        uint32_t len = 0;
        if (!zip.ReadItem(item.name.c_str(), nullptr, &len) || len > kMaxReadBytes)
            continue;
        FUZZ_CHECK(len <= CZipArchive::kMaxItemSize);
        std::vector<char> first(len + 1), second(len + 1);
        uint32_t n1 = len, n2 = len;
        const bool read1 = zip.ReadItem(item.name.c_str(), first.data(), &n1);
        const bool read2 = zip.ReadItem(item.name.c_str(), second.data(), &n2);
        FUZZ_CHECK(read1 == read2);
        if (read1)
            FUZZ_CHECK(n1 == len && n2 == len && first == second);
        if (len > 0) {
            uint32_t shorter = len - 1;
            FUZZ_CHECK(!zip.ReadItem(item.name.c_str(), first.data(), &shorter));
            FUZZ_CHECK(shorter == len);
        }
    }
    zip.Close();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const TWorkDir& dir = WorkDir();
    FILE* f = std::fopen(dir.archive.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(std::fwrite(data, 1, size, f) == size);
    FUZZ_CHECK(std::fclose(f) == 0);

    std::vector<TItem> items;
    const bool listed = ListItems(dir.archive, &items);
    // Names minizip cuts short are looked up cut short: a miss, no harm.
    ReadEveryItem(dir.archive, items);

    uint64_t bytes = 0;
    for (const TItem& item : items) bytes += item.size;
    if (listed && items.size() <= kMaxModifyItems && bytes <= kMaxModifyBytes) {
        CZipArchive zip;
        if (zip.Open(dir.archive.c_str(), CZipArchive::kModeModify))
            zip.Close();
        FUZZ_CHECK(Names(dir.files) == std::vector<std::string>{"in.zip"});
        FUZZ_CHECK(Names(dir.root + "cache") == std::vector<std::string>{"ZIPTemp"});
        FUZZ_CHECK(Names(dir.root + "cache/ZIPTemp").empty());
    }
    return 0;
}
