// cmpxchg, cmpxchg8b and xadd (the lock prefix changes nothing with one
// thread), cpuid, and the hints that have no effect here: prefetch and fences.

#include "qxnetengine/keyroutine/x86alu.h"
#include "qxnetengine/keyroutine/x86machine.h"

void CX86Machine::ExecAtomic(const TX86Insn& in)
{
    const unsigned op = in.nOp & 0xFF;
    if (op == 0xC7) {
        // cmpxchg8b m64: the only group 9 member that runs here.
        if (in.nReg != 1 || !in.bMem) {
            Fault(kKeyRoutineUnsupported);
            return;
        }
        if (!SegmentOk(in, in.DefaultSegIsSS())) {
            return;
        }
        const uint32_t addr = EffectiveAddress(in);
        const uint32_t lo = Load(addr, 4);
        const uint32_t hi = Load(addr + 4, 4);
        if (Faulted()) {
            return;
        }
        const bool equal = lo == m_Regs[kEAX] && hi == m_Regs[kEDX];
        // The processor writes the destination either way.
        Store(addr, 4, equal ? m_Regs[kEBX] : lo);
        Store(addr + 4, 4, equal ? m_Regs[kECX] : hi);
        if (Faulted()) {
            return;
        }
        if (equal) {
            m_nFlags |= kX86ZF;
        } else {
            m_nFlags &= ~kX86ZF;
            m_Regs[kEAX] = lo;
            m_Regs[kEDX] = hi;
        }
        return;
    }
    const unsigned size = (op & 1) ? in.nOpSize : 1;
    const uint32_t dst = ReadRm(in, size);
    if (Faulted()) {
        return;
    }
    if (op == 0xB0 || op == 0xB1) {
        const uint32_t acc = Reg(kEAX, size);
        X86Alu(kX86Cmp, acc, dst, size, &m_nFlags);
        if (acc == dst) {
            WriteRm(in, size, Reg(in.nReg, size));
        } else {
            WriteRm(in, size, dst);
            if (!Faulted()) {
                SetReg(kEAX, size, dst);
            }
        }
        return;
    }
    // xadd: the source register takes the old destination, then the
    // destination the sum (so xadd r,r with one register ends with the sum).
    uint32_t flags = m_nFlags;
    const uint32_t sum = X86Alu(kX86Add, dst, Reg(in.nReg, size), size, &flags);
    if (in.bMem) {
        WriteRm(in, size, sum);
        if (Faulted()) {
            return;
        }
    }
    SetReg(in.nReg, size, dst);
    if (!in.bMem) {
        SetReg(in.nRm, size, sum);
    }
    m_nFlags = flags;
}

// The emulated processor, as cpuid describes it: a GenuineIntel family 6
// model 23 (Core 2, 45 nm) with x87, cmpxchg8b, cmov, MMX, SSE, SSE2, SSE3,
// SSSE3 and SSE4.1; no time stamp counter, no fxsave, no SSE4.2, popcnt or
// AVX. Leaves 0 and 1 and extended leaf 0x80000000 answer; every other leaf
// answers zeros, so a routine that probes further finds no feature.
void CX86Machine::ExecCpuid()
{
    uint32_t a = 0;
    uint32_t b = 0;
    uint32_t c = 0;
    uint32_t d = 0;
    switch (m_Regs[kEAX]) {
    case 0:
        a = 1;
        b = 0x756E6547;  // "Genu"
        d = 0x49656E69;  // "ineI"
        c = 0x6C65746E;  // "ntel"
        break;
    case 1:
        a = 0x0001067A;                                        // family 6, model 0x17
        b = 0x00000800;                                        // clflush line 64 bytes
        c = (1u << 0) | (1u << 9) | (1u << 19);                // SSE3, SSSE3, SSE4.1
        d = (1u << 0) | (1u << 8) | (1u << 15) | (1u << 23) |  // FPU, CX8, CMOV, MMX
            (1u << 25) | (1u << 26);                           // SSE, SSE2
        break;
    case 0x80000000: a = 0x80000000; break;
    default: break;
    }
    m_Regs[kEAX] = a;
    m_Regs[kEBX] = b;
    m_Regs[kECX] = c;
    m_Regs[kEDX] = d;
}

void CX86Machine::ExecSystemHint(const TX86Insn& in)
{
    if ((in.nOp & 0xFF) == 0x18) {
        return;  // prefetch hints: no memory access, never a fault
    }
    // 0F AE: lfence, mfence, sfence; the state saves (fxsave, ldmxcsr, ...)
    // and clflush are not part of the model.
    if (in.bMem || in.nReg < 5) {
        Fault(kKeyRoutineUnsupported);
    }
}
