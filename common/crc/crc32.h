#pragma once
// The standard reflected CRC-32 (zlib, Ethernet): polynomial 0xEDB88320,
// register starting at 0xFFFFFFFF, complemented at the end.

#include <cstdint>
#include <cstdio>

// Continues a CRC from register crc over len bytes; returns the register
// itself when raw is true, its complement otherwise. A whole buffer:
// Crc32Buffer(data, len, 0xFFFFFFFF, false).
// Folds with carry-less multiplication where the processor has it, in the
// widest registers it offers (checked once at start-up), with the table
// method for the rest.
uint32_t Crc32Buffer(const uint8_t* data, uint32_t len, uint32_t crc, bool raw);

// The implementations, same arguments and results, for tests and
// benchmarks. The table method runs anywhere; the folding one only where
// Crc32ClmulAvailable() (PCLMULQDQ and SSE4.1 on x86).
uint32_t Crc32BufferTable(const uint8_t* data, uint32_t len, uint32_t crc, bool raw);
uint32_t Crc32BufferClmul(const uint8_t* data, uint32_t len, uint32_t crc, bool raw);
bool Crc32ClmulAvailable();
// Folding in 512-bit registers (VPCLMULQDQ with AVX-512, 64-bit x86 only),
// only where Crc32WideClmulAvailable().
uint32_t Crc32BufferWideClmul(const uint8_t* data, uint32_t len, uint32_t crc, bool raw);
bool Crc32WideClmulAvailable();

// CRC-32 of up to length bytes of fl from offset; a region past the end of
// the file stops at the end. 0 when fl is null or offset cannot be reached.
uint32_t Crc32Stream(FILE* fl, int32_t offset, uint32_t length);

// Crc32Stream of the file at path (opened "rb"); 0 when it cannot be opened.
uint32_t Crc32File(const char* path, int32_t offset, uint32_t length);
