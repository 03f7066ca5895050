#pragma once
// Decodes one IA-32 instruction (32-bit code, 32-bit addressing) from the
// routine's bytes: prefixes, opcode, ModRM/SIB, displacement, immediates.
// Opcode maps: one byte, 0F xx, 0F 38 xx and 0F 3A xx.

#include "qxnetengine/keyroutine/keyroutine.h"

#include <cstdint>

// Register numbers as encoded in ModRM.
enum { kEAX, kECX, kEDX, kEBX, kESP, kEBP, kESI, kEDI, kNoReg = 0xFF };

struct TX86Insn {
    uint32_t nOffset;  // code offset of the first byte
    uint32_t nLen;
    uint16_t nOp;     // one-byte opcode, 0x100 | op for 0F op, 0x200 | op for 0F 38 op,
                      // 0x300 | op for 0F 3A op
    uint8_t nOpSize;  // 2 with the 0x66 prefix, else 4
    uint8_t nRep;     // 0, 0xF2 or 0xF3
    uint8_t nSeg;     // the last segment prefix byte, 0 if none
    bool bLock;       // lock prefix, accepted only where the processor accepts it
    bool bModrm;
    uint8_t nMod, nReg, nRm;
    bool bMem;  // ModRM names memory
    uint8_t nBase, nIndex, nScale;
    uint32_t nDisp;
    uint32_t nImm;   // first immediate, zero-extended (also rel8/rel32, moffs)
    uint32_t nImm2;  // second immediate (enter's nesting level)

    // The memory operand's default segment is SS for ESP/EBP bases, DS otherwise.
    bool DefaultSegIsSS() const { return nBase == kESP || nBase == kEBP; }

    // The prefix that selects among SIMD instructions of one opcode: F2 or
    // F3 if present (the last one), else 66, else 0.
    unsigned SimdPrefix() const { return nRep != 0 ? nRep : (nOpSize == 2 ? 0x66 : 0); }
};

// Decodes the instruction at code[offset]. Returns kKeyRoutineOk, or why the
// bytes cannot be run (truncated, too long, unsupported or forbidden opcode).
EKeyRoutineFault DecodeX86(const uint8_t* code, uint32_t codeLen, uint32_t offset, TX86Insn* insn);
