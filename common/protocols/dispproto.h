#pragma once
// The dispatch server's exchange: one 92-byte request, and one reply that
// carries the gate server's address or a notice.

#include <cstddef>
#include <cstdint>
#include <string>

class CRandGen;

namespace DispProto {

const uint32_t kMagic = 0x44697370;  // "psiD"
const uint32_t kTypeRequest = 33;
const uint32_t kTypeGateAddr = 34;
const uint32_t kTypeNotice = 35;
const uint32_t kTypeTooOld = 36;
const uint32_t kEngineVersion = 1025;
const size_t kRequestLen = 92;
const size_t kGateAddrLen = 84;
const size_t kNoticeLen = 24;

// The request: type, magic, engine version, client version, then filler A
// (36 random bytes), its check, filler B (32 random bytes) and the check of
// everything after the 16-byte head.
std::string MakeRequest(uint32_t clientVersion, CRandGen& random);

// Reply offset of the 8-byte address record of a type-34 reply, computed
// from its first four body bytes: 20 to 75.
size_t LocateGateAddr(const unsigned char* reply);

struct TReply {
    uint32_t type = 0;
    uint32_t gateAddrNetOrder = 0;  // type 34
    uint16_t gatePort = 0;          // type 34
    uint32_t code = 0;              // type 35
    int32_t value = 0;              // type 35
};

// True when the bytes are a reply (type 34 of exactly 84 bytes, 35 or 36 of
// exactly 24, with the magic); anything else is not a reply at all.
bool ParseReply(const char* data, size_t len, TReply* reply);

// How many bytes a reply whose type is given in its first four bytes has;
// 0 for a type that is no reply.
size_t ReplyLength(uint32_t type);

// The server's side. True when the bytes are a whole request whose type,
// magic and both checks hold; clientVersion receives its client version.
bool CheckRequest(const char* data, size_t len, uint32_t* clientVersion);
// A type-34 reply: random body bytes, and the address record where they
// place it. The address is in network order, the port in host order.
std::string MakeGateAddrReply(uint32_t gateAddrNetOrder, uint16_t gatePort, CRandGen& random);
std::string MakeNoticeReply(uint32_t code, int32_t value);
std::string MakeTooOldReply();

}  // namespace DispProto
