#pragma once
// The shape of the MMX, SSE and SSE2..SSE4.1 opcodes (0F xx, 0F 38 xx,
// 0F 3A xx): whether they take ModRM and an immediate byte, or why they are
// refused. Which prefixes make a valid instruction is left to execution.

#include "qxnetengine/keyroutine/keyroutine.h"

struct TX86SimdShape {
    EKeyRoutineFault nFault;
    bool bModrm;
    bool bImm8;
};

// map: 1 for 0F xx, 2 for 0F 38 xx, 3 for 0F 3A xx. False when op of map 1
// is not a SIMD opcode (the general table decides then).
bool X86SimdShape(unsigned map, unsigned op, TX86SimdShape* shape);
