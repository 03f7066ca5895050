#pragma once
// The interpreter's address space: three regions (the routine's code copy,
// a private stack, the data the routine works on) at fixed addresses.
// Everything else is unmapped.

#include <cstdint>

class CX86Memory {
public:
    static constexpr uint32_t kCodeBase = 0x00401000;
    static constexpr uint32_t kMaxCode = 0x00100000;
    static constexpr uint32_t kStackBase = 0x00120000;
    static constexpr uint32_t kStackSize = 0x00010000;
    static constexpr uint32_t kDataBase = 0x00300000;
    static constexpr uint32_t kMaxData = 0x00010000;

    CX86Memory(uint8_t* code, uint32_t codeLen, uint8_t* stack, uint8_t* data, uint32_t dataLen);

    // Host pointer to n bytes at addr, or null unless all n lie in one region.
    uint8_t* Map(uint32_t addr, uint32_t n) const;

private:
    struct TRegion {
        uint32_t nBase;
        uint32_t nSize;
        uint8_t* pHost;
    };
    TRegion m_Regions[3];
};
