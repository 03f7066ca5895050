// Packed shifts: psrl/psra/psll by a register or memory count (D1-F3) and
// by an immediate (groups 71-73, with the SSE2 byte shifts psrldq/pslldq).

#include "qxnetengine/keyroutine/x86machine.h"

namespace {

enum EShiftKind { kShiftRight, kShiftArith, kShiftLeft };

// The count is the whole 64-bit value: anything past the lane width
// empties the lane (or fills it with the sign).
uint64_t ShiftLane(EShiftKind kind, const TX86Vec& v, unsigned size, unsigned i, uint64_t count)
{
    const unsigned bits = 8 * size;
    const uint64_t x = X86Lane(v, size, i);
    if (kind == kShiftArith) {
        const unsigned s = count > bits - 1 ? bits - 1 : static_cast<unsigned>(count);
        const int64_t sx = X86SignedLane(v, size, i);
        const int64_t r = sx >= 0 ? sx >> s : ~((~sx) >> s);
        return static_cast<uint64_t>(r) & X86LaneMask(size);
    }
    if (count >= bits) {
        return 0;
    }
    return kind == kShiftRight ? x >> count : (x << count) & X86LaneMask(size);
}

TX86Vec ShiftLanes(EShiftKind kind, const TX86Vec& v, unsigned size, unsigned bytes, uint64_t count)
{
    TX86Vec r = X86VecZero();
    for (unsigned i = 0; i < bytes / size; ++i) {
        X86SetLane(&r, size, i, ShiftLane(kind, v, size, i, count));
    }
    return r;
}

// psrldq (right) and pslldq by whole bytes.
TX86Vec ShiftBytes(const TX86Vec& v, unsigned count, bool right)
{
    TX86Vec r = X86VecZero();
    for (unsigned i = 0; i < 16; ++i) {
        const unsigned from = right ? i + count : i - count;  // wraps when below 0
        if (from < 16) {
            X86SetLane(&r, 1, i, X86Lane(v, 1, from));
        }
    }
    return r;
}

}  // namespace

bool CX86Machine::ExecSimdShift(const TX86Insn& in)
{
    const unsigned op = in.nOp;
    const unsigned pfx = in.SimdPrefix();
    if (pfx != 0 && pfx != 0x66) {
        return false;
    }
    const bool mmx = pfx == 0;
    const unsigned bytes = mmx ? 8 : 16;
    if (op >= 0x171 && op <= 0x173) {
        // Register forms only; /2 right, /4 arithmetic (not for qwords), /6 left,
        // /3 and /7 the byte shifts of XMM.
        if (in.bMem) {
            return false;
        }
        const unsigned size = op == 0x171 ? 2 : (op == 0x172 ? 4 : 8);
        TX86Vec& v = VecReg(mmx, in.nRm);
        switch (in.nReg) {
        case 2: v = ShiftLanes(kShiftRight, v, size, bytes, in.nImm); return true;
        case 4:
            if (size == 8) {
                return false;
            }
            v = ShiftLanes(kShiftArith, v, size, bytes, in.nImm);
            return true;
        case 6: v = ShiftLanes(kShiftLeft, v, size, bytes, in.nImm); return true;
        case 3:
        case 7:
            if (size != 8 || mmx) {
                return false;
            }
            v = ShiftBytes(v, in.nImm > 16 ? 16 : in.nImm, in.nReg == 3);
            return true;
        default: return false;
        }
    }
    EShiftKind kind = kShiftLeft;
    unsigned size = 0;
    switch (op) {
    case 0x1D1:
        kind = kShiftRight;
        size = 2;
        break;
    case 0x1D2:
        kind = kShiftRight;
        size = 4;
        break;
    case 0x1D3:
        kind = kShiftRight;
        size = 8;
        break;
    case 0x1E1:
        kind = kShiftArith;
        size = 2;
        break;
    case 0x1E2:
        kind = kShiftArith;
        size = 4;
        break;
    case 0x1F1: size = 2; break;
    case 0x1F2: size = 4; break;
    case 0x1F3: size = 8; break;
    default: return false;
    }
    const TX86Vec count = ReadVecRm(in, mmx, bytes, !mmx);
    if (!Faulted()) {
        TX86Vec& v = VecReg(mmx, in.nReg);
        v = ShiftLanes(kind, v, size, bytes, count.q[0]);
    }
    return true;
}
