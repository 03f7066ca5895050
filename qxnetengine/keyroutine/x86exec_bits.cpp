// Shifts and rotates, shld/shrd, the bt family and bsf/bsr.

#include "qxnetengine/keyroutine/x86alu.h"
#include "qxnetengine/keyroutine/x86machine.h"

void CX86Machine::ExecShift(const TX86Insn& in)
{
    const unsigned size = (in.nOp & 1) ? in.nOpSize : 1;
    unsigned count = 1;
    if (in.nOp == 0xC0 || in.nOp == 0xC1) {
        count = in.nImm;
    } else if (in.nOp == 0xD2 || in.nOp == 0xD3) {
        count = Reg(kECX, 1);
    }
    const uint32_t v = ReadRm(in, size);
    if (!Faulted()) {
        WriteRm(in, size, X86Shift(static_cast<EX86ShiftOp>(in.nReg), v, count, size, &m_nFlags));
    }
}

void CX86Machine::ExecDoubleShift(const TX86Insn& in)
{
    const unsigned op = in.nOp & 0xFF;
    const unsigned count = (op == 0xA4 || op == 0xAC) ? in.nImm : Reg(kECX, 1);
    const uint32_t v = ReadRm(in, in.nOpSize);
    if (!Faulted()) {
        const bool left = op == 0xA4 || op == 0xA5;
        WriteRm(in, in.nOpSize,
                X86DoubleShift(left, v, Reg(in.nReg, in.nOpSize), count, in.nOpSize, &m_nFlags));
    }
}

void CX86Machine::ExecBitTest(const TX86Insn& in)
{
    const unsigned op = in.nOp & 0xFF;
    const unsigned size = in.nOpSize;
    const unsigned bits = 8 * size;
    unsigned kind = 0;  // bt, bts, btr, btc
    uint32_t bit = 0;
    uint32_t addr = 0;
    if (op == 0xBA) {
        if (in.nReg < 4) {
            Fault(kKeyRoutineUnsupported);
            return;
        }
        kind = in.nReg - 4;
        bit = in.nImm & (bits - 1);
        if (in.bMem) {
            addr = EffectiveAddress(in);
        }
    } else {
        kind = (op >> 3) & 3;
        const uint32_t offset = Reg(in.nReg, size);
        bit = offset & (bits - 1);
        if (in.bMem) {
            // A register offset is signed and may reach outside the operand:
            // the unit holding the bit is floor(offset / bits) units away.
            const int64_t so = X86Signed(offset, size);
            const int64_t units = so >= 0 ? so / bits : -((-so + bits - 1) / bits);
            addr =
                EffectiveAddress(in) + static_cast<uint32_t>(static_cast<uint64_t>(units * size));
        }
    }
    uint32_t v = 0;
    if (in.bMem) {
        if (!SegmentOk(in, in.DefaultSegIsSS())) {
            return;
        }
        v = Load(addr, size);
    } else {
        v = Reg(in.nRm, size);
    }
    if (Faulted()) {
        return;
    }
    const uint32_t m = 1u << bit;
    m_nFlags = (m_nFlags & ~kX86CF) | ((v & m) ? kX86CF : 0);
    if (kind == 0) {
        return;
    }
    const uint32_t r = kind == 1 ? v | m : (kind == 2 ? v & ~m : v ^ m);
    if (in.bMem) {
        Store(addr, size, r);
    } else {
        SetReg(in.nRm, size, r);
    }
}

void CX86Machine::ExecBitScan(const TX86Insn& in)
{
    const unsigned size = in.nOpSize;
    const uint32_t v = ReadRm(in, size);
    if (Faulted()) {
        return;
    }
    if (v == 0) {
        // The destination keeps its value, as processors do.
        m_nFlags |= kX86ZF;
        return;
    }
    m_nFlags &= ~kX86ZF;
    unsigned index = 0;
    if ((in.nOp & 0xFF) == 0xBC) {
        while (((v >> index) & 1) == 0) {
            ++index;
        }
    } else {
        index = 8 * size - 1;
        while (((v >> index) & 1) == 0) {
            --index;
        }
    }
    SetReg(in.nReg, size, index);
}
