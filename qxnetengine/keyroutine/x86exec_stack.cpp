// push/pop in all forms, pushad/popad, pushfd/popfd, enter/leave.

#include "qxnetengine/keyroutine/x86alu.h"
#include "qxnetengine/keyroutine/x86machine.h"

void CX86Machine::ExecStack(const TX86Insn& in)
{
    const unsigned op = in.nOp;
    const unsigned vs = in.nOpSize;
    if (op >= 0x50 && op <= 0x57) {
        Push(Reg(op & 7, vs), vs);  // push esp stores the value before the push
        return;
    }
    if (op >= 0x58 && op <= 0x5F) {
        const uint32_t v = Pop(vs);
        if (!Faulted()) {
            SetReg(op & 7, vs, v);  // pop esp ends with the popped value
        }
        return;
    }
    switch (op) {
    case 0x60: {
        const uint32_t esp = Reg(kESP, vs);
        for (unsigned r = kEAX; r <= kEDI; ++r) {
            Push(r == kESP ? esp : Reg(r, vs), vs);
        }
        break;
    }
    case 0x61:
        for (unsigned r = kEDI + 1; r-- > kEAX;) {
            const uint32_t v = Pop(vs);
            if (r != kESP && !Faulted()) {
                SetReg(r, vs, v);
            }
        }
        break;
    case 0x68: Push(in.nImm, vs); break;
    case 0x6A: Push(X86SignExtend(in.nImm, 1), vs); break;
    case 0x8F: {
        if (in.nReg != 0) {
            Fault(kKeyRoutineUnsupported);
            break;
        }
        // The destination address is computed after ESP moved.
        const uint32_t v = Pop(vs);
        if (!Faulted()) {
            WriteRm(in, vs, v);
        }
        break;
    }
    case 0x9C: Push(PackedFlags(), vs); break;
    case 0x9D: {
        // Only the status flags and DF can change in user mode here.
        const uint32_t v = Pop(vs);
        if (!Faulted()) {
            m_nFlags = v & (kX86StatusFlags | kX86DF);
        }
        break;
    }
    case 0xC8: {
        if (vs == 2) {
            Fault(kKeyRoutineUnsupported);
            break;
        }
        const unsigned level = in.nImm2 & 31;
        Push(m_Regs[kEBP], 4);
        const uint32_t frame = m_Regs[kESP];
        if (level > 0) {
            uint32_t ebp = m_Regs[kEBP];
            for (unsigned i = 1; i < level && !Faulted(); ++i) {
                ebp -= 4;
                Push(Load(ebp, 4), 4);
            }
            Push(frame, 4);
        }
        if (!Faulted()) {
            m_Regs[kEBP] = frame;
            m_Regs[kESP] -= in.nImm;
        }
        break;
    }
    default: {  // 0xC9 leave
        if (vs == 2) {
            Fault(kKeyRoutineUnsupported);
            break;
        }
        const uint32_t esp = m_Regs[kESP];
        m_Regs[kESP] = m_Regs[kEBP];
        const uint32_t v = Pop(4);
        if (Faulted()) {
            m_Regs[kESP] = esp;
        } else {
            m_Regs[kEBP] = v;
        }
        break;
    }
    }
}
