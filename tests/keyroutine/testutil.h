#pragma once
// Small helpers shared by the key routine tests.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/bytes/byteorder.h"
#include "qxnetengine/keyroutine/keyroutine.h"
#include "qxnetengine/keyroutine/x86memory.h"

// splitmix64: the same numbers on every platform and compiler.
class CTestRng {
public:
    explicit CTestRng(uint64_t seed) : m_nState(seed) {}
    uint64_t Next()
    {
        uint64_t z = (m_nState += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint8_t Byte() { return static_cast<uint8_t>(Next()); }
    void Fill(uint8_t* p, size_t n)
    {
        for (size_t i = 0; i < n; ++i) {
            p[i] = Byte();
        }
    }

private:
    uint64_t m_nState;
};

inline std::string HexBytes(const uint8_t* p, size_t n)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
        if (i + 1 < n && (i & 3) == 3) {
            s += ' ';
        }
    }
    return s;
}

typedef std::vector<uint8_t> TBytes;

const uint32_t kCode = CX86Memory::kCodeBase;
const uint32_t kBlock = CX86Memory::kDataBase;
const uint32_t kStackTop = CX86Memory::kStackBase + CX86Memory::kStackSize;

// A block whose bytes are all different.
const uint8_t kBlockBytes[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

inline TKeyRoutineResult RunOnBlock(const TBytes& code, uint8_t* block, uint8_t param = 0x33,
                                    uint32_t budget = 100000)
{
    return CKeyRoutineSandbox(budget).Run(code.data(), code.size(), block, param);
}
