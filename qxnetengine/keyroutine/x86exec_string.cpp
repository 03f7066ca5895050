// String instructions movs, cmps, stos, lods, scas with rep/repe/repne.

#include "qxnetengine/keyroutine/x86alu.h"
#include "qxnetengine/keyroutine/x86machine.h"

void CX86Machine::ExecString(const TX86Insn& in)
{
    const unsigned op = in.nOp;
    const unsigned size = (op & 1) ? in.nOpSize : 1;
    const uint32_t delta = (m_nFlags & kX86DF) ? 0 - size : size;
    const unsigned kind = (op & 0xFE);
    const bool compares = kind == 0xA6 || kind == 0xAE;
    // The source (DS:ESI) may carry its default segment; ES:EDI cannot be overridden.
    if ((kind == 0xA4 || kind == 0xA6 || kind == 0xAC) && !SegmentOk(in, false)) {
        return;
    }
    for (bool first = true;; first = false) {
        if (in.nRep != 0) {
            if (m_Regs[kECX] == 0) {
                break;
            }
            if (!first && !ConsumeBudget()) {  // each iteration costs one instruction
                break;
            }
        }
        switch (kind) {
        case 0xA4: Store(m_Regs[kEDI], size, Load(m_Regs[kESI], size)); break;
        case 0xA6: {
            const uint32_t a = Load(m_Regs[kESI], size);
            X86Alu(kX86Cmp, a, Load(m_Regs[kEDI], size), size, &m_nFlags);
            break;
        }
        case 0xAA: Store(m_Regs[kEDI], size, Reg(kEAX, size)); break;
        case 0xAC: {
            const uint32_t v = Load(m_Regs[kESI], size);
            if (!Faulted()) {
                SetReg(kEAX, size, v);
            }
            break;
        }
        default: X86Alu(kX86Cmp, Reg(kEAX, size), Load(m_Regs[kEDI], size), size, &m_nFlags);
        }
        if (Faulted()) {
            return;
        }
        if (kind != 0xAA && kind != 0xAE) {
            m_Regs[kESI] += delta;
        }
        if (kind != 0xAC) {
            m_Regs[kEDI] += delta;
        }
        if (in.nRep == 0) {
            break;
        }
        --m_Regs[kECX];
        if (compares && ((in.nRep == 0xF3) != ((m_nFlags & kX86ZF) != 0))) {
            break;  // repe stops on a difference, repne on a match
        }
    }
}
