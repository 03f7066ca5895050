#pragma once
// The gate server's side of the exchange, for the tests: frames, the
// scrambled handshake and the encrypted packages.

#include "common/dataencryption/dataencryption.h"
#include "support/testsockets.h"

#include <string>

// A routine that XORs the key block with its parameter byte.
extern const std::string kXorParamRoutine;

std::string GateFrame(const std::string& payload);
// Cuts the next frame's payload off the front of stream; false when none is whole.
bool TakeGateFrame(std::string& stream, std::string* payload);
std::string Scrambled(std::string bytes);

// A handshake reply message (head and body), unscrambled.
std::string ReplyMessage(uint32_t kind, uint32_t gateId, const unsigned char block[16],
                         unsigned char param, size_t bodyLen = 554, unsigned char skip = 3);

// The server's key: the client half from the request, then its own half.
class CGateCrypto {
public:
    void SetKey(const unsigned char clientHalf[16], const unsigned char serverHalf[16]);
    std::string EncryptedFrame(const std::string& pkg) const;
    std::string Decrypt(const std::string& payload) const;

private:
    CDataEncryption m_Crypto;
};
