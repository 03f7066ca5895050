#include "common/protocols/dispproto.h"

#include "common/bytes/byteorder.h"
#include "common/crc/crc32.h"
#include "common/randgen/randgen.h"

#include <cstring>

namespace DispProto {

namespace {

const uint32_t kCheckAAdd = 0x44495350;  // "PSID"
const uint32_t kCheckBSub = 0x5158434F;
const size_t kHeadLen = 16;
const size_t kFillerALen = 36;
const size_t kFillerBLen = 32;

uint32_t Crc(const unsigned char* p, size_t n)
{
    return Crc32Buffer(p, static_cast<uint32_t>(n), 0xFFFFFFFFu, false);
}

const size_t kChecked = kFillerALen + 4 + kFillerBLen;

std::string Head(uint32_t type, size_t len)
{
    std::string r(len, '\0');
    unsigned char* p = reinterpret_cast<unsigned char*>(&r[0]);
    WriteU32LE(p, type);
    WriteU32LE(p + 4, kMagic);
    return r;
}

}  // namespace

std::string MakeRequest(uint32_t clientVersion, CRandGen& random)
{
    unsigned char pkg[kRequestLen];
    WriteU32LE(pkg, kTypeRequest);
    WriteU32LE(pkg + 4, kMagic);
    WriteU32LE(pkg + 8, kEngineVersion);
    WriteU32LE(pkg + 12, clientVersion);
    unsigned char* fillerA = pkg + kHeadLen;
    for (size_t i = 0; i < kFillerALen; ++i) fillerA[i] = static_cast<unsigned char>(random.Next());
    WriteU32LE(fillerA + kFillerALen, Crc(fillerA, kFillerALen) + kCheckAAdd);
    unsigned char* fillerB = fillerA + kFillerALen + 4;
    for (size_t i = 0; i < kFillerBLen; ++i) fillerB[i] = static_cast<unsigned char>(random.Next());
    WriteU32LE(fillerB + kFillerBLen, Crc(fillerA, kChecked) - kCheckBSub);
    return std::string(reinterpret_cast<const char*>(pkg), sizeof pkg);
}

size_t LocateGateAddr(const unsigned char* reply)
{
    const unsigned char* body = reply + kHeadLen;
    // Each byte counts as a signed value; the sum wraps as a 32-bit number.
    auto b = [&](int i) { return static_cast<int32_t>(static_cast<int8_t>(body[i])); };
    uint32_t s = static_cast<uint32_t>(2 * b(0) + b(1) + 2 * b(2) + 4 * b(3));
    return kHeadLen + 4 + s % 56;
}

size_t ReplyLength(uint32_t type)
{
    switch (type) {
    case kTypeGateAddr: return kGateAddrLen;
    case kTypeNotice:
    case kTypeTooOld: return kNoticeLen;
    default: return 0;
    }
}

bool ParseReply(const char* data, size_t len, TReply* reply)
{
    if (!data || (len != kGateAddrLen && len != kNoticeLen))
        return false;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(data);
    if (ReadU32LE(p + 4) != kMagic)
        return false;
    TReply r;
    r.type = ReadU32LE(p);
    if (ReplyLength(r.type) != len)
        return false;
    if (r.type == kTypeGateAddr) {
        const unsigned char* record = p + LocateGateAddr(p);
        memcpy(&r.gateAddrNetOrder, record, 4);  // kept in network order, as received
        r.gatePort = ReadU16LE(record + 5);
    } else if (r.type == kTypeNotice) {
        r.code = ReadU32LE(p + 16);
        r.value = LoadLE<int32_t>(p + 20);
    }
    *reply = r;
    return true;
}

bool CheckRequest(const char* data, size_t len, uint32_t* clientVersion)
{
    if (!data || len != kRequestLen)
        return false;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(data);
    const unsigned char* fillerA = p + kHeadLen;
    if (ReadU32LE(p) != kTypeRequest || ReadU32LE(p + 4) != kMagic ||
        ReadU32LE(fillerA + kFillerALen) != Crc(fillerA, kFillerALen) + kCheckAAdd ||
        ReadU32LE(fillerA + kChecked) != Crc(fillerA, kChecked) - kCheckBSub)
        return false;
    *clientVersion = ReadU32LE(p + 12);
    return true;
}

std::string MakeGateAddrReply(uint32_t gateAddrNetOrder, uint16_t gatePort, CRandGen& random)
{
    std::string r = Head(kTypeGateAddr, kGateAddrLen);
    unsigned char* p = reinterpret_cast<unsigned char*>(&r[0]);
    for (size_t i = kHeadLen; i < kGateAddrLen; ++i)
        p[i] = static_cast<unsigned char>(random.Next());
    unsigned char* record = p + LocateGateAddr(p);
    memcpy(record, &gateAddrNetOrder, 4);
    WriteU16LE(record + 5, gatePort);
    return r;
}

std::string MakeNoticeReply(uint32_t code, int32_t value)
{
    std::string r = Head(kTypeNotice, kNoticeLen);
    unsigned char* p = reinterpret_cast<unsigned char*>(&r[0]);
    WriteU32LE(p + 16, code);
    WriteU32LE(p + 20, static_cast<uint32_t>(value));
    return r;
}

std::string MakeTooOldReply() { return Head(kTypeTooOld, kNoticeLen); }

}  // namespace DispProto
