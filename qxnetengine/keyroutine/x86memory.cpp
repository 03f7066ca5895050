#include "qxnetengine/keyroutine/x86memory.h"

CX86Memory::CX86Memory(uint8_t* code, uint32_t codeLen, uint8_t* stack, uint8_t* data,
                       uint32_t dataLen)
{
    m_Regions[0] = {kDataBase, dataLen, data};
    m_Regions[1] = {kStackBase, kStackSize, stack};
    m_Regions[2] = {kCodeBase, codeLen, code};
}

uint8_t* CX86Memory::Map(uint32_t addr, uint32_t n) const
{
    for (const TRegion& r : m_Regions) {
        const uint32_t off = addr - r.nBase;  // wraps for addresses below the region
        if (off < r.nSize && r.nSize - off >= n) {
            return r.pHost + off;
        }
    }
    return nullptr;
}
