#include "support/fakes.h"

#include "common/bytes/byteorder.h"

std::string MakePkg(const std::string& body)
{
    char prefix[4];
    WriteU32LE(prefix, static_cast<uint32_t>(body.size()));
    return std::string(prefix, 4) + body;
}

std::string MakeBody(unsigned short moduleId, unsigned short msgId, const std::string& payload)
{
    char head[4];
    WriteU16LE(head, moduleId);
    WriteU16LE(head + 2, msgId);
    return std::string(head, 4) + payload;
}
