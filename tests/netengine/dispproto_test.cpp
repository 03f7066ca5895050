#include "common/protocols/dispproto.h"

#include "common/bytes/byteorder.h"
#include "common/crc/crc32.h"
#include "common/randgen/randgen.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using namespace DispProto;

uint32_t Crc(const std::string& s, size_t from, size_t n)
{
    return Crc32Buffer(reinterpret_cast<const uint8_t*>(s.data()) + from, static_cast<uint32_t>(n),
                       0xFFFFFFFFu, false);
}

TEST(DispProto, RequestLayoutAndChecks)
{
    CRandGen random(7);
    std::string req = MakeRequest(0xA1B2C3D4, random);
    ASSERT_EQ(92u, req.size());
    EXPECT_EQ(33u, ReadU32LE(req.data()));
    EXPECT_EQ("psiD", req.substr(4, 4));
    EXPECT_EQ(1025u, ReadU32LE(req.data() + 8));
    EXPECT_EQ(0xA1B2C3D4u, ReadU32LE(req.data() + 12));
    EXPECT_EQ(Crc(req, 16, 36) + 0x44495350u, ReadU32LE(req.data() + 52));
    EXPECT_EQ(Crc(req, 16, 72) - 0x5158434Fu, ReadU32LE(req.data() + 88));

    // The fillers are the generator's low bytes, filler A first.
    CRandGen same(7);
    for (int i = 0; i < 36; ++i) EXPECT_EQ(static_cast<char>(same.Next()), req[16 + i]) << i;
    for (int i = 0; i < 32; ++i) EXPECT_EQ(static_cast<char>(same.Next()), req[56 + i]) << i;

    // The published example: 36 zero bytes give check A 25 06 00 AF.
    EXPECT_EQ(0xAF000625u, Crc(std::string(36, '\0'), 0, 36) + 0x44495350u);
}

std::string Reply(uint32_t type, size_t len, uint32_t magic = kMagic)
{
    std::string r(len, '\0');
    if (len >= 8) {
        WriteU32LE(&r[0], type);
        WriteU32LE(&r[4], magic);
    }
    return r;
}

TEST(DispProto, GateAddrRecordPosition)
{
    struct Case {
        unsigned char b[4];
        size_t offset;
    } cases[] = {
        {{0, 0, 0, 0}, 20},
        {{0x01, 0x02, 0x03, 0x04}, 46},
        {{0xFF, 0x00, 0x00, 0x00}, 50},
        {{0x80, 0x80, 0x80, 0x80}, 20},
    };
    for (const Case& c : cases) {
        std::string r = Reply(kTypeGateAddr, kGateAddrLen);
        for (int i = 0; i < 4; ++i) r[16 + i] = static_cast<char>(c.b[i]);
        const unsigned char* p = reinterpret_cast<const unsigned char*>(r.data());
        EXPECT_EQ(c.offset, LocateGateAddr(p));
        // Address bytes as received, port little-endian at record offset 5.
        const char record[8] = {10, 20, 30, 40, 0, 0x39, 0x30, 0};
        memcpy(&r[c.offset], record, 8);
        TReply reply;
        ASSERT_TRUE(ParseReply(r.data(), r.size(), &reply));
        const unsigned char* a = reinterpret_cast<const unsigned char*>(&reply.gateAddrNetOrder);
        EXPECT_EQ(10, a[0]);
        EXPECT_EQ(40, a[3]);
        EXPECT_EQ(12345, reply.gatePort);
    }
}

TEST(DispProto, OnlyExactRepliesAreAccepted)
{
    struct Case {
        const char* name;
        std::string bytes;
        bool accepted;
    } cases[] = {
        {"gate address", Reply(34, 84), true},
        {"notice", Reply(35, 24), true},
        {"too old", Reply(36, 24), true},
        {"gate address, notice length", Reply(34, 24), false},
        {"notice, gate address length", Reply(35, 84), false},
        {"request type", Reply(33, 24), false},
        {"wrong magic", Reply(34, 84, 0x44697371), false},
        {"short", Reply(35, 23), false},
        {"long", Reply(34, 85), false},
        {"empty", std::string(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TReply reply;
        EXPECT_EQ(c.accepted, ParseReply(c.bytes.data(), c.bytes.size(), &reply));
    }
    std::string notice = Reply(35, 24);
    WriteU32LE(&notice[16], 0xFEDCBA98);
    WriteU32LE(&notice[20], 0xFFFFFFFE);
    TReply reply;
    ASSERT_TRUE(ParseReply(notice.data(), notice.size(), &reply));
    EXPECT_EQ(0xFEDCBA98u, reply.code);
    EXPECT_EQ(-2, reply.value);
}

// The server's side checks what the engine builds and builds what it parses.
TEST(DispProto, ServerSideMatchesTheEngine)
{
    CRandGen random(11);
    std::string req = MakeRequest(4321, random);
    uint32_t version = 0;
    ASSERT_TRUE(CheckRequest(req.data(), req.size(), &version));
    EXPECT_EQ(4321u, version);
    struct Case {
        const char* name;
        size_t at;
    } damaged[] = {{"type", 0},     {"magic", 5},     {"filler A", 20},
                   {"check A", 52}, {"filler B", 60}, {"check B", 90}};
    for (const Case& c : damaged) {
        SCOPED_TRACE(c.name);
        std::string bad = req;
        bad[c.at] = static_cast<char>(bad[c.at] ^ 0x40);
        EXPECT_FALSE(CheckRequest(bad.data(), bad.size(), &version));
    }
    EXPECT_FALSE(CheckRequest(req.data(), 91, &version));
    EXPECT_FALSE(CheckRequest((req + "x").data(), 93, &version));

    // Many random bodies put the record in many places; it is always found.
    for (int i = 0; i < 200; ++i) {
        std::string r = MakeGateAddrReply(0x0100007F, static_cast<uint16_t>(1000 + i), random);
        TReply reply;
        ASSERT_TRUE(ParseReply(r.data(), r.size(), &reply));
        EXPECT_EQ(34u, reply.type);
        EXPECT_EQ(0x0100007Fu, reply.gateAddrNetOrder);
        EXPECT_EQ(1000 + i, reply.gatePort);
    }
    TReply notice;
    std::string n = MakeNoticeReply(9, -5);
    ASSERT_TRUE(ParseReply(n.data(), n.size(), &notice));
    EXPECT_EQ(9u, notice.code);
    EXPECT_EQ(-5, notice.value);
    std::string old = MakeTooOldReply();
    ASSERT_TRUE(ParseReply(old.data(), old.size(), &notice));
    EXPECT_EQ(36u, notice.type);
}

}  // namespace
