#pragma once
// Archives written byte by byte, so tests control every field a reader
// trusts (names, sizes, CRCs, attributes), and small file helpers.

#include <cstdint>
#include <string>
#include <vector>

struct TZipEntry {
    std::string name;
    std::string data;
    bool deflate = false;
    uint32_t unixMode = 0;      // high half of the external attributes, host Unix
    bool badCrc = false;        // the stored CRC does not match data
    uint32_t sizeExcess = 0;    // declared uncompressed size beyond data
    uint16_t dosDate = 0x0021;  // 1980-01-01
    uint16_t dosTime = 0;
};

std::string BuildZip(const std::vector<TZipEntry>& entries);

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);

// Names below dir, relative, folders with a trailing "/", sorted; empty when
// dir is missing.
std::vector<std::string> TreeListing(const std::string& dir);

// Item names as stored in the archive, in archive order (through minizip).
std::vector<std::string> StoredNames(const std::string& path);
