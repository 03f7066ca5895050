// Data movement and flag instructions: mov, movzx/movsx, lea, xchg, cbw/cwd
// and their 32-bit forms, lahf/sahf, xlat, cmovcc, setcc, bswap, nop,
// clc/stc/cmc/cld/std.

#include "qxnetengine/keyroutine/x86alu.h"
#include "qxnetengine/keyroutine/x86machine.h"

namespace {

const uint32_t kAhFlags = kX86SF | kX86ZF | kX86AF | kX86PF | kX86CF;

}  // namespace

void CX86Machine::ExecMove(const TX86Insn& in)
{
    const unsigned op = in.nOp;
    const unsigned vs = in.nOpSize;
    if (op >= 0xB0 && op <= 0xB7) {
        SetReg(op & 7, 1, in.nImm);
        return;
    }
    if (op >= 0xB8 && op <= 0xBF) {
        SetReg(op & 7, vs, in.nImm);
        return;
    }
    if (op >= 0x91 && op <= 0x97) {
        const uint32_t a = Reg(kEAX, vs);
        SetReg(kEAX, vs, Reg(op & 7, vs));
        SetReg(op & 7, vs, a);
        return;
    }
    if (op >= 0x140 && op <= 0x14F) {
        // The source is read whatever the condition, as the processor does.
        const uint32_t v = ReadRm(in, vs);
        if (!Faulted() && X86Condition(op & 0xF, m_nFlags)) {
            SetReg(in.nReg, vs, v);
        }
        return;
    }
    if (op >= 0x190 && op <= 0x19F) {
        WriteRm(in, 1, X86Condition(op & 0xF, m_nFlags) ? 1 : 0);
        return;
    }
    if (op >= 0x1C8 && op <= 0x1CF) {
        if (vs == 2) {
            Fault(kKeyRoutineUnsupported);  // undefined result
            return;
        }
        const uint32_t v = m_Regs[op & 7];
        m_Regs[op & 7] = (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
        return;
    }
    switch (op) {
    case 0x86:
    case 0x87: {
        const unsigned size = op == 0x86 ? 1 : vs;
        const uint32_t a = ReadRm(in, size);
        WriteRm(in, size, Reg(in.nReg, size));
        if (!Faulted()) {
            SetReg(in.nReg, size, a);
        }
        break;
    }
    case 0x88: WriteRm(in, 1, Reg(in.nReg, 1)); break;
    case 0x89: WriteRm(in, vs, Reg(in.nReg, vs)); break;
    case 0x8A:
    case 0x8B: {
        const unsigned size = op == 0x8A ? 1 : vs;
        const uint32_t v = ReadRm(in, size);
        if (!Faulted()) {
            SetReg(in.nReg, size, v);
        }
        break;
    }
    case 0x8D:
        if (!in.bMem) {
            Fault(kKeyRoutineUnsupported);
            break;
        }
        SetReg(in.nReg, vs, EffectiveAddress(in));
        break;
    case 0xC6:
    case 0xC7:
        if (in.nReg != 0) {
            Fault(kKeyRoutineUnsupported);
            break;
        }
        WriteRm(in, op == 0xC6 ? 1 : vs, in.nImm);
        break;
    case 0xA0:
    case 0xA1:
    case 0xA2:
    case 0xA3: {
        const unsigned size = (op & 1) ? vs : 1;
        if (!SegmentOk(in, false)) {
            break;
        }
        if (op < 0xA2) {
            const uint32_t v = Load(in.nImm, size);
            if (!Faulted()) {
                SetReg(kEAX, size, v);
            }
        } else {
            Store(in.nImm, size, Reg(kEAX, size));
        }
        break;
    }
    case 0x1B6:
    case 0x1B7:
    case 0x1BE:
    case 0x1BF: {
        const unsigned size = (op & 1) ? 2 : 1;
        uint32_t v = ReadRm(in, size);
        if (op >= 0x1BE) {
            v = X86SignExtend(v, size);
        }
        if (!Faulted()) {
            SetReg(in.nReg, vs, v);
        }
        break;
    }
    case 0x98:  // cbw, cwde
        SetReg(kEAX, vs, X86SignExtend(Reg(kEAX, vs / 2), vs / 2));
        break;
    case 0x99:  // cwd, cdq
        SetReg(kEDX, vs, (Reg(kEAX, vs) & X86Sign(vs)) ? 0xFFFFFFFFu : 0);
        break;
    case 0x9E: m_nFlags = (m_nFlags & ~kAhFlags) | (Reg(4, 1) & kAhFlags); break;
    case 0x9F: SetReg(4, 1, (m_nFlags & kAhFlags) | 0x02); break;
    case 0xD7: {
        if (!SegmentOk(in, false)) {
            break;
        }
        const uint32_t v = Load(m_Regs[kEBX] + Reg(kEAX, 1), 1);
        if (!Faulted()) {
            SetReg(kEAX, 1, v);
        }
        break;
    }
    case 0x90:
    case 0x11F: break;
    case 0xF5: m_nFlags ^= kX86CF; break;
    case 0xF8: m_nFlags &= ~kX86CF; break;
    case 0xF9: m_nFlags |= kX86CF; break;
    case 0xFC: m_nFlags &= ~kX86DF; break;
    case 0xFD: m_nFlags |= kX86DF; break;
    default: Fault(kKeyRoutineUnsupported); break;
    }
}
