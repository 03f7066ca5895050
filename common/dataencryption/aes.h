#pragma once
// AES (FIPS-197) block functions in ECB over whole 16-byte blocks, with the
// round keys in one 129-word schedule block:
//   words 0..63    encryption round keys (big-endian words of the key bytes)
//   words 64..127  decryption round keys of the equivalent inverse cipher
//   word 128       the round count (10, 12 or 14)
// Two implementations give identical results: the portable table-driven one,
// and AES-NI where the processor has it, chosen once at run time.

#include <cstddef>
#include <cstdint>

const int kAesScheduleWords = 129;
const int kAesDecOffset = 64;
const int kAesRoundsIndex = 128;

// len must be 16, 24 or 32.
void AesExpandKey(const uint8_t* key, int len, uint32_t* sched);

// ECB over n whole blocks; out may equal in.
void AesEncryptBlocks(const uint32_t* sched, const uint8_t* in, uint8_t* out, size_t n);
void AesDecryptBlocks(const uint32_t* sched, const uint8_t* in, uint8_t* out, size_t n);

enum EAesImpl { kAesTable, kAesNi };

bool AesNiAvailable();
EAesImpl AesActiveImpl();
// Pins the implementation (tests and benchmarks run both); false, changing
// nothing, when the processor lacks AES-NI.
bool AesUseImpl(EAesImpl impl);

// The implementations themselves, for the dispatcher and for tests.
void AesEncryptBlocksTable(const uint32_t* sched, const uint8_t* in, uint8_t* out, size_t n);
void AesDecryptBlocksTable(const uint32_t* sched, const uint8_t* in, uint8_t* out, size_t n);
void AesEncryptBlocksNi(const uint32_t* sched, const uint8_t* in, uint8_t* out, size_t n);
void AesDecryptBlocksNi(const uint32_t* sched, const uint8_t* in, uint8_t* out, size_t n);
