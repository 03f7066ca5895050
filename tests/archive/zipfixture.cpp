#include "zipfixture.h"

#include <minizip/unzip.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

void Put16(std::string* out, uint32_t v)
{
    out->push_back(static_cast<char>(v & 0xFF));
    out->push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string* out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

std::string RawDeflate(const std::string& data)
{
    z_stream zs = {};
    if (deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK)
        throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&zs, static_cast<uLong>(data.size())), '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(&out[0]);
    zs.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    if (rc != Z_STREAM_END)
        throw std::runtime_error("deflate");
    return out;
}

}  // namespace

std::string BuildZip(const std::vector<TZipEntry>& entries)
{
    std::string zip, central;
    for (const TZipEntry& e : entries) {
        const std::string body = e.deflate ? RawDeflate(e.data) : e.data;
        uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(e.data.data()),
                                                   static_cast<uInt>(e.data.size())));
        if (e.badCrc)
            crc ^= 0x5A5A5A5A;
        const uint32_t method = e.deflate ? 8 : 0;
        const uint32_t usize = static_cast<uint32_t>(e.data.size()) + e.sizeExcess;
        const uint32_t offset = static_cast<uint32_t>(zip.size());

        Put32(&zip, 0x04034b50);
        Put16(&zip, 20);
        Put16(&zip, 0);
        Put16(&zip, method);
        Put16(&zip, e.dosTime);
        Put16(&zip, e.dosDate);
        Put32(&zip, crc);
        Put32(&zip, static_cast<uint32_t>(body.size()));
        Put32(&zip, usize);
        Put16(&zip, static_cast<uint32_t>(e.name.size()));
        Put16(&zip, 0);
        zip += e.name;
        zip += body;

        Put32(&central, 0x02014b50);
        Put16(&central, e.unixMode ? (3u << 8) | 20 : 20);
        Put16(&central, 20);
        Put16(&central, 0);
        Put16(&central, method);
        Put16(&central, e.dosTime);
        Put16(&central, e.dosDate);
        Put32(&central, crc);
        Put32(&central, static_cast<uint32_t>(body.size()));
        Put32(&central, usize);
        Put16(&central, static_cast<uint32_t>(e.name.size()));
        Put16(&central, 0);  // extra
        Put16(&central, 0);  // comment
        Put16(&central, 0);  // disk
        Put16(&central, 0);  // internal attributes
        Put32(&central, e.unixMode << 16);
        Put32(&central, offset);
        central += e.name;
    }
    const uint32_t centralAt = static_cast<uint32_t>(zip.size());
    zip += central;
    Put32(&zip, 0x06054b50);
    Put16(&zip, 0);
    Put16(&zip, 0);
    Put16(&zip, static_cast<uint32_t>(entries.size()));
    Put16(&zip, static_cast<uint32_t>(entries.size()));
    Put32(&zip, static_cast<uint32_t>(central.size()));
    Put32(&zip, centralAt);
    Put16(&zip, 0);
    return zip;
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> TreeListing(const std::string& dir)
{
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        return names;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().lexically_relative(dir).generic_string();
        if (it->is_directory(ec) && !it->is_symlink(ec))
            name += "/";
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> StoredNames(const std::string& path)
{
    std::vector<std::string> names;
    unzFile zf = unzOpen(path.c_str());
    if (!zf)
        return names;
    for (int rc = unzGoToFirstFile(zf); rc == UNZ_OK; rc = unzGoToNextFile(zf)) {
        char name[1024];
        unz_file_info info;
        if (unzGetCurrentFileInfo(zf, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK)
            break;
        names.push_back(name);
    }
    unzClose(zf);
    return names;
}
