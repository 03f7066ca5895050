#pragma once
// The gate server's handshake, shared by both ends: a 12-byte head in front
// of the request and the reply, and the XOR pattern they are scrambled with.

#include <cstddef>
#include <cstdint>

namespace GateHandshake {

const uint32_t kHeadLen = 12;
const uint16_t kRequestType = 49;
const uint16_t kReplyType = 50;
const uint32_t kModuleTag = 0x47617465;   // "etaG"
const uint32_t kMessageTag = 0x30313031;  // "1010"
const uint32_t kRequestBodyLen = 24;
const uint32_t kReplyBodyLen = 554;

}  // namespace GateHandshake

// XOR with a pattern that depends only on the position; its own inverse.
void ScrambleGate(char* bytes, size_t n);
