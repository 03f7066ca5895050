#include "qxnetengine/archive/ziparchive.h"

#include "common/randgen/randgen.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/thread.h"
#include "platform/time.h"
#include "qxnetengine/archive/tempdir.h"
#include "qxnetengine/archive/windowedfile.h"

#include <minizip/unzip.h>
#include <minizip/zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

// minizip's and zlib's codes are negative; ours for them are positive.
const int32_t kLibFile = -Z_ERRNO;
const int32_t kLibNoMemory = -Z_MEM_ERROR;
static_assert(kLibNoMemory == CZipArchive::kResultNoMemory, "the result named in the header");
const int32_t kLibBuffer = -Z_BUF_ERROR;
const int32_t kLibNotFound = -UNZ_END_OF_LIST_OF_FILE;
const int32_t kLibBadZip = -UNZ_BADZIPFILE;
const int32_t kLibInternal = -UNZ_INTERNALERROR;

int32_t LibCode(int rc) { return rc < 0 ? -rc : rc; }

const size_t kChunk = 64 * 1024;
const size_t kMaxNameLen = 0xFFFF;

bool IsSep(char c) { return c == '/' || c == '\\'; }

std::string WithSep(const std::string& dir)
{
    return !dir.empty() && IsSep(dir.back()) ? dir : dir + qxplat::kPathSep;
}

std::string Hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(value));
    return text;
}

// Index keys and lookups separate folders with backslashes, so either
// separator finds an item.
std::string IndexKey(std::string name)
{
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

std::string AsciiLower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Splits an item name into its folders and file name. False for a name that
// could land outside the directory it is extracted to, or whose meaning
// differs between systems: absolute, a drive or stream (':'), an empty part,
// or a part that Windows reads as "." or ".." (trailing dots and spaces are
// dropped there). A trailing separator marks a folder item.
bool SplitItemName(const std::string& name, std::vector<std::string>* parts, bool* isDir)
{
    parts->clear();
    *isDir = false;
    if (name.empty() || IsSep(name[0]) || name.find(':') != std::string::npos ||
        name.find('\0') != std::string::npos)
        return false;
    size_t start = 0;
    while (start < name.size()) {
        size_t end = start;
        while (end < name.size() && !IsSep(name[end])) ++end;
        const std::string part = name.substr(start, end - start);
        if (part.find_first_not_of(". ") == std::string::npos)
            return false;
        parts->push_back(part);
        if (end == name.size())
            break;
        if (end + 1 == name.size())
            *isDir = true;
        start = end + 1;
    }
    return !parts->empty();
}

// What Windows makes of a part: case folded, trailing dots and spaces gone.
std::string FoldPart(const std::string& part)
{
    return AsciiLower(part.substr(0, part.find_last_not_of(". ") + 1));
}

// A folded part Windows opens as a device whatever its extension ("nul",
// "com1.txt"): extracting to it writes to the device and loses the item.
bool IsDeviceName(const std::string& folded)
{
    std::string base = folded.substr(0, folded.find('.'));
    base.erase(base.find_last_not_of(' ') + 1);
    static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
    for (const char* device : kDevices)
        if (base == device)
            return true;
    return base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) &&
           base[3] >= '1' && base[3] <= '9';
}

// Whether a folded part has the shape of a generated short name
// ("longna~1.txt"): up to eight characters ending in '~' and digits, then at
// most three after one dot. stem receives what comes before the '~'.
bool IsShortNameShape(const std::string& folded, std::string* stem)
{
    const size_t dot = folded.find('.');
    const std::string base = folded.substr(0, dot);
    if (base.size() > 8 || (dot != std::string::npos &&
                            (folded.size() - dot - 1 > 3 || folded.find('.', dot + 1) != std::string::npos)))
        return false;
    const size_t tilde = base.rfind('~');
    if (tilde == std::string::npos || tilde + 1 == base.size() ||
        base.find_first_not_of("0123456789", tilde + 1) != std::string::npos)
        return false;
    *stem = base.substr(0, tilde);
    return true;
}

// Two parts of one folder that Windows could take for the same file: one has
// the shape of the short name Windows would give the other ("longna~1.txt"
// beside "longname.txt"). Folded parts, grouped by their folder.
bool HasShortNameAlias(const std::map<std::string, std::vector<std::string>>& folders)
{
    for (const auto& folder : folders) {
        for (const std::string& alias : folder.second) {
            std::string stem;
            if (!IsShortNameShape(alias, &stem))
                continue;
            for (const std::string& other : folder.second) {
                std::string squeezed;
                for (char c : other.substr(0, other.find('.')))
                    if (c != ' ' && c != '.')
                        squeezed += c;
                if (other != alias && squeezed.compare(0, stem.size(), stem) == 0)
                    return true;
            }
        }
    }
    return false;
}

bool IsLinkItem(const unz_file_info64& info)
{
    const uLong kTypeMask = 0170000, kLink = 0120000;
    return ((info.external_fa >> 16) & kTypeMask) == kLink;
}

void ToZipTime(const qxplat::TLocalTime& t, tm_zip* out)
{
    // A DOS date holds 1980 to 2107 only.
    qxplat::TLocalTime c = t;
    if (c.year < 1980)
        c = qxplat::TLocalTime{1980, 1, 1, 0, 0, 0, 0};
    else if (c.year > 2107)
        c = qxplat::TLocalTime{2107, 12, 31, 23, 59, 58, 0};
    out->tm_sec = static_cast<uInt>(c.second);
    out->tm_min = static_cast<uInt>(c.minute);
    out->tm_hour = static_cast<uInt>(c.hour);
    out->tm_mday = static_cast<uInt>(c.day);
    out->tm_mon = static_cast<uInt>(c.month - 1);
    out->tm_year = static_cast<uInt>(c.year);
}

struct CFileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using TFilePtr = std::unique_ptr<FILE, CFileCloser>;

}  // namespace

CZipArchive::CZipArchive() : m_hZip(nullptr), m_nLastResult(0), m_bWrite(false), m_nWriteError(0) {}

CZipArchive::~CZipArchive() { Close(); }

bool CZipArchive::Open(const char* path, int mode, const char* password)
{
    Close();
    if (!path || !*path || (password && *password))
        return Fail(kErrParam);
    try {
        switch (mode) {
        case kModeRead: return OpenRead(path);
        case kModeCreate: return OpenCreate(path);
        case kModeModify: return OpenModify(path);
        default: return Fail(kErrParam);
        }
    } catch (const std::bad_alloc&) {
        Release(false);
        return Fail(kLibNoMemory);
    } catch (...) {
        Release(false);
        return Fail(kLibInternal);
    }
}

bool CZipArchive::OpenRead(const std::string& path)
{
    zlib_filefunc64_def funcs = WindowedReadFuncs();
    unzFile zf = unzOpen2_64(path.c_str(), &funcs);
    if (!zf) {
        return Fail(qxplat::FileExists(path) && !qxplat::IsDirectory(path) ? kLibBadZip : kLibFile);
    }
    m_hZip = zf;
    m_bWrite = false;

    std::vector<char> name(kMaxNameLen + 1);
    int rc = unzGoToFirstFile(zf);
    while (rc == UNZ_OK) {
        unz_file_info64 info;
        rc = unzGetCurrentFileInfo64(zf, &info, name.data(), static_cast<uLong>(name.size()),
                                     nullptr, 0, nullptr, 0);
        if (rc != UNZ_OK)
            break;
        unz64_file_pos pos;
        rc = unzGetFilePos64(zf, &pos);
        if (rc != UNZ_OK)
            break;
        if (m_vecItemPos.size() >= 0x7FFFFFFF) {
            rc = UNZ_BADZIPFILE;
            break;
        }
        const size_t len = std::min<size_t>(info.size_filename, kMaxNameLen);
        m_mapItems[IndexKey(std::string(name.data(), len))] =
            static_cast<int32_t>(m_vecItemPos.size());
        m_vecItemPos.push_back(TItemPos{pos.pos_in_zip_directory, pos.num_of_file});
        rc = unzGoToNextFile(zf);
    }
    if (rc != UNZ_END_OF_LIST_OF_FILE) {
        Release(false);
        return Fail(LibCode(rc));
    }
    m_nLastResult = 0;
    return true;
}

bool CZipArchive::OpenCreate(const std::string& path)
{
    if (qxplat::IsDirectory(path))
        return Fail(kLibFile);
    // Written beside the target so a rename can replace it when complete.
    std::string newFile = path + "." + Hex(qxplat::CurrentThreadId()) + Hex(qxplat::TickCountMs()) +
                          Hex(static_cast<uint32_t>(CRandGen::ForThread().Next())) + ".new";
    zipFile zf = zipOpen64(newFile.c_str(), APPEND_STATUS_CREATE);
    if (!zf)
        return Fail(kLibFile);
    m_hZip = zf;
    m_bWrite = true;
    m_strTarget = path;
    m_strNewFile = newFile;
    m_nWriteError = 0;
    m_nLastResult = 0;
    return true;
}

bool CZipArchive::OpenModify(const std::string& path)
{
    CTempDir temp(true);
    if (!temp.GetPath())
        return Fail(kLibFile);
    {
        CZipArchive reader;
        if (!reader.Open(path.c_str(), kModeRead) || !reader.ExtractAllTo(temp.GetPath()))
            return Fail(reader.GetLastResult());
    }
    if (!OpenCreate(path))
        return false;
    if (!AddFolderTree("", temp.GetPath())) {
        const int32_t code = m_nLastResult;
        Release(false);
        return Fail(code);
    }
    return true;
}

bool CZipArchive::ExtractAllTo(const std::string& dir)
{
    struct TItem {
        std::vector<std::string> parts;
        bool isDir;
        unz64_file_pos pos;
        ZPOS64_T size;
        tm_unz date;
    };
    unzFile zf = m_hZip;
    std::vector<TItem> items;
    // Folded path -> the path as written and whether it is a folder: two
    // items whose names differ only in case would become one file on
    // Windows.
    std::map<std::string, std::pair<std::string, bool>> seen;
    std::vector<char> name(kMaxNameLen + 1);

    // Everything is checked before anything is written.
    int rc = unzGoToFirstFile(zf);
    while (rc == UNZ_OK) {
        unz_file_info64 info;
        rc = unzGetCurrentFileInfo64(zf, &info, name.data(), static_cast<uLong>(name.size()),
                                     nullptr, 0, nullptr, 0);
        if (rc != UNZ_OK)
            break;
        TItem item;
        const std::string raw(name.data(), std::min<size_t>(info.size_filename, kMaxNameLen));
        if (IsLinkItem(info) || !SplitItemName(raw, &item.parts, &item.isDir))
            return Fail(kLibBadZip);
        std::string folded, written;
        for (size_t i = 0; i < item.parts.size(); ++i) {
            if (IsDeviceName(FoldPart(item.parts[i])))
                return Fail(kLibBadZip);
            folded += (i ? "/" : "") + FoldPart(item.parts[i]);
            written += (i ? "/" : "") + item.parts[i];
            const bool isDir = i + 1 < item.parts.size() || item.isDir;
            auto found = seen.emplace(folded, std::make_pair(written, isDir));
            if (!found.second &&
                (found.first->second.first != written || !isDir || !found.first->second.second))
                return Fail(kLibBadZip);
        }
        unz64_file_pos pos;
        rc = unzGetFilePos64(zf, &pos);
        if (rc != UNZ_OK)
            break;
        item.pos = pos;
        item.size = info.uncompressed_size;
        item.date = info.tmu_date;
        items.push_back(item);
        rc = unzGoToNextFile(zf);
    }
    if (rc != UNZ_END_OF_LIST_OF_FILE)
        return Fail(LibCode(rc));
    std::map<std::string, std::vector<std::string>> folders;
    for (const auto& entry : seen) {
        const size_t slash = entry.first.rfind('/');
        folders[slash == std::string::npos ? std::string() : entry.first.substr(0, slash)]
            .push_back(slash == std::string::npos ? entry.first : entry.first.substr(slash + 1));
    }
    if (HasShortNameAlias(folders))
        return Fail(kLibBadZip);

    std::vector<char> buffer(kChunk);
    for (TItem& item : items) {
        std::string path = WithSep(dir);
        const size_t folders = item.isDir ? item.parts.size() : item.parts.size() - 1;
        for (size_t i = 0; i < folders; ++i) {
            path += item.parts[i];
            if (!qxplat::CreateDir(path))
                return Fail(kLibFile);
            path += qxplat::kPathSep;
        }
        if (item.isDir)
            continue;
        path += item.parts.back();

        rc = unzGoToFilePos64(zf, &item.pos);
        if (rc == UNZ_OK)
            rc = unzOpenCurrentFile(zf);
        if (rc != UNZ_OK)
            return Fail(LibCode(rc));
        TFilePtr out(std::fopen(path.c_str(), "wb"));
        ZPOS64_T total = 0;
        int got = 0;
        while (out && (got = unzReadCurrentFile(zf, buffer.data(),
                                                static_cast<unsigned>(buffer.size()))) > 0) {
            total += static_cast<ZPOS64_T>(got);
            if (std::fwrite(buffer.data(), 1, static_cast<size_t>(got), out.get()) !=
                static_cast<size_t>(got))
                break;
        }
        const int closeRc = unzCloseCurrentFile(zf);
        const bool saved = out && got == 0 && std::fclose(out.release()) == 0;
        if (got < 0)
            return Fail(LibCode(got));
        if (!saved)
            return Fail(kLibFile);
        if (total != item.size)
            return Fail(kLibBadZip);
        if (closeRc != UNZ_OK)
            return Fail(LibCode(closeRc));
        const tm_unz& d = item.date;
        qxplat::SetFileModTime(
            path, qxplat::TLocalTime{static_cast<int>(d.tm_year), static_cast<int>(d.tm_mon) + 1,
                                     static_cast<int>(d.tm_mday), static_cast<int>(d.tm_hour),
                                     static_cast<int>(d.tm_min), static_cast<int>(d.tm_sec), 0});
    }
    m_nLastResult = 0;
    return true;
}

bool CZipArchive::ReadItem(const char* name, void* buffer, uint32_t* length)
{
    if (m_bWrite)
        return Fail(kErrModeMismatch);
    if (!m_hZip)
        return Fail(kErrNotOpened);
    if (!name || !length)
        return Fail(kErrParam);
    const auto found = m_mapItems.find(IndexKey(name));
    if (found == m_mapItems.end())
        return Fail(kLibNotFound);

    unzFile zf = m_hZip;
    const TItemPos& at = m_vecItemPos[static_cast<size_t>(found->second)];
    unz64_file_pos pos;
    pos.pos_in_zip_directory = at.dirOffset;
    pos.num_of_file = at.number;
    int rc = unzGoToFilePos64(zf, &pos);
    unz_file_info64 info;
    if (rc == UNZ_OK)
        rc = unzGetCurrentFileInfo64(zf, &info, nullptr, 0, nullptr, 0, nullptr, 0);
    if (rc != UNZ_OK)
        return Fail(LibCode(rc));
    // A size the caller would allocate blindly; real indexes are far smaller.
    if (info.uncompressed_size > kMaxItemSize)
        return Fail(kLibNoMemory);
    const uint32_t size = static_cast<uint32_t>(info.uncompressed_size);
    if (!buffer) {
        *length = size;
        m_nLastResult = 0;
        return true;
    }
    if (*length < size) {
        *length = size;
        return Fail(kLibBuffer);
    }

    rc = unzOpenCurrentFile(zf);
    if (rc != UNZ_OK)
        return Fail(LibCode(rc));
    const int got = size ? unzReadCurrentFile(zf, buffer, size) : 0;
    // The CRC is compared only here, once every byte has been read.
    const int closeRc = unzCloseCurrentFile(zf);
    if (got < 0)
        return Fail(LibCode(got));
    if (static_cast<uint32_t>(got) != size)
        return Fail(kLibBadZip);
    if (closeRc != UNZ_OK)
        return Fail(LibCode(closeRc));
    m_nLastResult = 0;
    return true;
}

bool CZipArchive::AddFile(const char* name, const char* file)
{
    if (!m_bWrite)
        return Fail(kErrModeMismatch);
    if (!m_hZip)
        return Fail(kErrNotOpened);
    if (!name || !file || !*file)
        return Fail(kErrParam);
    std::string item(name);
    std::replace(item.begin(), item.end(), '\\', '/');
    std::vector<std::string> parts;
    bool isDir = false;
    if (item.size() > kMaxNameLen || !SplitItemName(item, &parts, &isDir) || isDir)
        return Fail(kErrParam);
    try {
        return WriteFileItem(item, file);
    } catch (const std::bad_alloc&) {
        return Fail(kLibNoMemory);
    }
}

bool CZipArchive::WriteFileItem(const std::string& name, const std::string& file)
{
    if (qxplat::IsDirectory(file))
        return Fail(kLibFile);
    TFilePtr in(std::fopen(file.c_str(), "rb"));
    if (!in)
        return Fail(kLibFile);
    zip_fileinfo zi;
    std::memset(&zi, 0, sizeof zi);
    qxplat::TLocalTime when;
    if (!qxplat::GetFileModTime(file, &when))
        qxplat::GetLocalTimeNow(&when);
    ToZipTime(when, &zi.tmz_date);
    std::vector<char> buffer(kChunk);

    // From here on a failure leaves a broken item: the archive is not
    // complete any more.
    zipFile zf = m_hZip;
    int rc = zipOpenNewFileInZip64(zf, name.c_str(), &zi, nullptr, 0, nullptr, 0, nullptr,
                                   Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0);
    if (rc != ZIP_OK)
        return FailWrite(LibCode(rc));
    uint64_t total = 0;
    size_t got;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), in.get())) > 0) {
        total += got;
        // Without the ZIP64 extension sizes stop below 4 GiB.
        if (total >= 0xFFFFFFFFull) {
            zipCloseFileInZip(zf);
            return FailWrite(kLibFile);
        }
        rc = zipWriteInFileInZip(zf, buffer.data(), static_cast<unsigned>(got));
        if (rc != ZIP_OK) {
            zipCloseFileInZip(zf);
            return FailWrite(LibCode(rc));
        }
    }
    const bool readFailed = std::ferror(in.get()) != 0;
    rc = zipCloseFileInZip(zf);
    if (readFailed)
        return FailWrite(kLibFile);
    if (rc != ZIP_OK)
        return FailWrite(LibCode(rc));
    m_nLastResult = 0;
    return true;
}

bool CZipArchive::FailWrite(int32_t code)
{
    if (m_nWriteError == 0)
        m_nWriteError = code;
    return Fail(code);
}

bool CZipArchive::AddFolderTree(const char* prefix, const char* dir)
{
    if (!m_bWrite)
        return Fail(kErrModeMismatch);
    if (!m_hZip)
        return Fail(kErrNotOpened);
    if (!prefix || !dir || !*dir)
        return Fail(kErrParam);
    try {
        return AddTree(prefix, dir);
    } catch (const std::bad_alloc&) {
        return Fail(kLibNoMemory);
    }
}

bool CZipArchive::AddTree(const std::string& prefix, const std::string& dir)
{
    std::vector<qxplat::TDirEntry> entries;
    if (!qxplat::ListDir(dir, &entries))
        return Fail(kLibFile);
    std::sort(
        entries.begin(), entries.end(),
        [](const qxplat::TDirEntry& a, const qxplat::TDirEntry& b) { return a.name < b.name; });
    const std::string base = WithSep(dir);
    for (const qxplat::TDirEntry& e : entries) {
        // A link could lead out of the tree or round in a circle.
        if (e.isLink)
            return Fail(kLibFile);
        const std::string item =
            prefix.empty() || IsSep(prefix.back()) ? prefix + e.name : prefix + "/" + e.name;
        const bool ok =
            e.isDir ? AddTree(item, base + e.name) : AddFile(item.c_str(), (base + e.name).c_str());
        if (!ok)
            return false;
    }
    m_nLastResult = 0;
    return true;
}

bool CZipArchive::Close()
{
    m_mapItems.clear();
    m_vecItemPos.clear();
    if (!m_hZip)
        return true;
    if (!m_bWrite) {
        const int rc = unzClose(m_hZip);
        m_hZip = nullptr;
        m_nLastResult = LibCode(rc);
        return rc == UNZ_OK;
    }
    if (m_nWriteError != 0) {
        const int32_t code = m_nWriteError;
        Release(false);
        return Fail(code);
    }
    const int rc = zipClose(m_hZip, nullptr);
    m_hZip = nullptr;
    if (rc != ZIP_OK) {
        Release(false);
        return Fail(LibCode(rc));
    }
    const bool moved = qxplat::MoveFileReplace(m_strNewFile, m_strTarget);
    Release(moved);
    if (!moved)
        return Fail(kLibFile);
    m_nLastResult = 0;
    return true;
}

void CZipArchive::Release(bool keepWritten)
{
    m_mapItems.clear();
    m_vecItemPos.clear();
    if (m_hZip) {
        if (m_bWrite)
            zipClose(m_hZip, nullptr);
        else
            unzClose(m_hZip);
        m_hZip = nullptr;
    }
    if (m_bWrite && !keepWritten && !m_strNewFile.empty())
        qxplat::DeleteFileForce(m_strNewFile);
    m_bWrite = false;
    m_strTarget.clear();
    m_strNewFile.clear();
    m_nWriteError = 0;
}

const char* CZipArchive::GetErrorText(int32_t code)
{
    switch (code) {
    case kErrModeMismatch: return "read/write mode dismatch!";
    case kErrNotOpened: return "file not opened!";
    case kErrParam: return "param error!";
    case 0: return "no error";
    case -UNZ_END_OF_LIST_OF_FILE: return "no such item";
    case -UNZ_PARAMERROR: return "parameter error";
    case -UNZ_BADZIPFILE: return "bad zip file";
    case -UNZ_INTERNALERROR: return "internal error";
    case -UNZ_CRCERROR: return "CRC error";
    default: break;
    }
    if (code < 0)
        return "Unknown error!";
    // zlib's own texts for its codes; zError returns constants.
    if (code >= -Z_ERRNO && code <= -Z_VERSION_ERROR)
        return zError(-code);
    return "unknown zip error";
}
