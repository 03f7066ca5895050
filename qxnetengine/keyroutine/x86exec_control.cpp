// Control transfers: jcc, jmp, call, ret, loop/loope/loopne/jecxz, and
// group 5 (inc/dec, indirect call and jmp, push of memory).

#include "qxnetengine/keyroutine/x86alu.h"
#include "qxnetengine/keyroutine/x86machine.h"

void CX86Machine::Jump(uint32_t target)
{
    // A target outside the code is caught when the next instruction is fetched.
    m_nEip = target;
}

void CX86Machine::ExecControl(const TX86Insn& in)
{
    // 16-bit operand size would cut EIP to 16 bits: never inside the code.
    if (in.nOpSize == 2) {
        Fault(kKeyRoutineUnsupported);
        return;
    }
    const unsigned op = in.nOp;
    const uint32_t next = m_nEip;
    if (op >= 0x70 && op <= 0x7F) {
        if (X86Condition(op & 0xF, m_nFlags)) {
            Jump(next + X86SignExtend(in.nImm, 1));
        }
        return;
    }
    if (op >= 0x180 && op <= 0x18F) {
        if (X86Condition(op & 0xF, m_nFlags)) {
            Jump(next + in.nImm);
        }
        return;
    }
    switch (op) {
    case 0xE0:
    case 0xE1:
    case 0xE2: {
        const uint32_t ecx = --m_Regs[kECX];
        const bool zf = (m_nFlags & kX86ZF) != 0;
        if (ecx != 0 && (op == 0xE2 || (op == 0xE1) == zf)) {
            Jump(next + X86SignExtend(in.nImm, 1));
        }
        break;
    }
    case 0xE3:
        if (m_Regs[kECX] == 0) {
            Jump(next + X86SignExtend(in.nImm, 1));
        }
        break;
    case 0xE8:
        Push(next, 4);
        if (!Faulted()) {
            Jump(next + in.nImm);
        }
        break;
    case 0xE9: Jump(next + in.nImm); break;
    case 0xEB: Jump(next + X86SignExtend(in.nImm, 1)); break;
    case 0xC2:
    case 0xC3: {
        const uint32_t target = Pop(4);
        if (!Faulted()) {
            if (op == 0xC2) {
                m_Regs[kESP] += in.nImm;
            }
            Jump(target);
        }
        break;
    }
    default: Fault(kKeyRoutineUnsupported); break;
    }
}

void CX86Machine::ExecGroup5(const TX86Insn& in)
{
    switch (in.nReg) {
    case 0:
    case 1: ExecIncDec(in); break;
    case 2:
    case 4: {
        if (in.nOpSize == 2) {
            Fault(kKeyRoutineUnsupported);
            break;
        }
        // The target is read before the return address is pushed.
        const uint32_t target = ReadRm(in, 4);
        if (in.nReg == 2) {
            Push(m_nEip, 4);
        }
        if (!Faulted()) {
            Jump(target);
        }
        break;
    }
    case 3:
    case 5: Fault(kKeyRoutineFarTransfer); break;
    case 6: {
        const uint32_t v = ReadRm(in, in.nOpSize);
        if (!Faulted()) {
            Push(v, in.nOpSize);
        }
        break;
    }
    default: Fault(kKeyRoutineUnsupported); break;
    }
}
