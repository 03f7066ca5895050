#include "common/crc/crc32.h"

#include "common/bytes/byteorder.h"

namespace {

// t[0] is the usual byte table; t[k][n] is the register after byte n
// followed by k zero bytes, so sixteen bytes can be folded at once with
// independent lookups (the byte-at-a-time loop is bound by one lookup's
// latency per byte).
struct CCrcTables {
    uint32_t t[16][256];
};

constexpr CCrcTables MakeTables()
{
    CCrcTables tab{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        tab.t[0][n] = c;
    }
    for (uint32_t n = 0; n < 256; ++n)
        for (int k = 1; k < 16; ++k)
            tab.t[k][n] = (tab.t[k - 1][n] >> 8) ^ tab.t[0][tab.t[k - 1][n] & 0xFF];
    return tab;
}

constexpr CCrcTables kCrc = MakeTables();
static_assert(kCrc.t[0][1] == 0x77073096u, "CRC-32 table");

enum ECrcImpl { kTable = 0, kClmul, kWideClmul };

// Decided once while the program starts; a call made before that (from
// another static initialiser) sees zero and takes the table method.
const int g_nImpl = Crc32WideClmulAvailable() ? kWideClmul
                    : Crc32ClmulAvailable()   ? kClmul
                                              : kTable;

}  // namespace

uint32_t Crc32Buffer(const uint8_t* data, uint32_t len, uint32_t crc, bool raw)
{
    switch (g_nImpl) {
    case kWideClmul: return Crc32BufferWideClmul(data, len, crc, raw);
    case kClmul: return Crc32BufferClmul(data, len, crc, raw);
    default: return Crc32BufferTable(data, len, crc, raw);
    }
}

uint32_t Crc32BufferTable(const uint8_t* data, uint32_t len, uint32_t crc, bool raw)
{
    const auto& t = kCrc.t;
    while (len >= 16) {
        const uint32_t a = crc ^ ReadU32LE(data);
        const uint32_t b = ReadU32LE(data + 4);
        const uint32_t c = ReadU32LE(data + 8);
        const uint32_t d = ReadU32LE(data + 12);
        crc =
            (t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24]) ^
            (t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24]) ^
            (t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24]) ^
            (t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^ t[0][d >> 24]);
        data += 16;
        len -= 16;
    }
    while (len--) crc = (crc >> 8) ^ t[0][(crc ^ *data++) & 0xFF];
    return raw ? crc : ~crc;
}

uint32_t Crc32Stream(FILE* fl, int32_t offset, uint32_t length)
{
    // A failed seek would leave the stream where it was and give the CRC of
    // the wrong bytes; report the empty region instead.
    if (!fl || offset < 0 || fseek(fl, offset, SEEK_SET) != 0)
        return 0;
    uint8_t buf[4096];
    uint32_t crc = 0xFFFFFFFFu;
    uint32_t remaining = length;
    while (remaining > 0 && !feof(fl)) {
        size_t want = remaining < sizeof(buf) ? remaining : sizeof(buf);
        size_t got = fread(buf, 1, want, fl);
        if (got == 0)
            break;
        crc = Crc32Buffer(buf, static_cast<uint32_t>(got), crc, true);
        remaining -= static_cast<uint32_t>(got);
    }
    return ~crc;
}

uint32_t Crc32File(const char* path, int32_t offset, uint32_t length)
{
    if (!path)
        return 0;
    FILE* fl = fopen(path, "rb");
    if (!fl)
        return 0;
    uint32_t crc = Crc32Stream(fl, offset, length);
    fclose(fl);
    return crc;
}
