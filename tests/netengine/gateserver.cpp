#include "gateserver.h"

#include "common/bytes/byteorder.h"
#include "common/protocols/gatehandshake.h"

#include <cstring>

const std::string kXorParamRoutine(
    "\x8B\x4C\x24\x04"  // mov ecx, [esp + 4]: the block
    "\x8A\x44\x24\x08"  // mov al, [esp + 8]: the parameter
    "\x31\xD2"          // xor edx, edx
    "\x30\x04\x11"      // loop: xor [ecx + edx], al
    "\x42"              // inc edx
    "\x83\xFA\x10"      // cmp edx, 16
    "\x75\xF7"          // jne loop
    "\xC3",             // ret
    20);

std::string GateFrame(const std::string& payload)
{
    std::string f(4, '\0');
    WriteU32LE(&f[0], static_cast<uint32_t>(payload.size()));
    return f + payload;
}

bool TakeGateFrame(std::string& stream, std::string* payload)
{
    if (stream.size() < 4)
        return false;
    uint32_t len = ReadU32LE(stream.data());
    if (stream.size() - 4 < len)
        return false;
    *payload = stream.substr(4, len);
    stream.erase(0, len + 4);
    return true;
}

std::string Scrambled(std::string bytes)
{
    ScrambleGate(&bytes[0], bytes.size());
    return bytes;
}

std::string ReplyMessage(uint32_t kind, uint32_t gateId, const unsigned char block[16],
                         unsigned char param, size_t bodyLen, unsigned char skip)
{
    std::string body(bodyLen, '\x90');
    WriteU32LE(&body[0], kind);
    WriteU32LE(&body[4], gateId);
    body[8] = static_cast<char>(skip);
    body[9 + skip] = static_cast<char>(param);
    memcpy(&body[10 + skip], block, 16);
    memcpy(&body[26 + skip], kXorParamRoutine.data(), kXorParamRoutine.size());
    std::string head(12, '\0');
    WriteU16LE(&head[0], static_cast<uint16_t>(bodyLen));
    WriteU16LE(&head[2], 50);
    memcpy(&head[4], "etaG1010", 8);
    return head + body;
}

void CGateCrypto::SetKey(const unsigned char clientHalf[16], const unsigned char serverHalf[16])
{
    unsigned char key[32];
    memcpy(key, clientHalf, 16);
    memcpy(key + 16, serverHalf, 16);
    m_Crypto.SetKey(key, 32);
}

std::string CGateCrypto::EncryptedFrame(const std::string& pkg) const
{
    return GateFrame(m_Crypto.Encrypt(pkg));
}

std::string CGateCrypto::Decrypt(const std::string& payload) const
{
    return m_Crypto.Decrypt(payload);
}
