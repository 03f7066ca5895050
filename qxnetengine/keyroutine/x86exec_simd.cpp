// The SIMD operand model shared by the MMX and SSE groups, and the dispatch
// to them. An MMX instruction works on 8 bytes, its 66-prefixed SSE2 form on
// 16; legacy SSE forms demand a 16-byte aligned memory operand unless they
// are the unaligned moves or read fewer bytes.

#include "qxnetengine/keyroutine/x86machine.h"

void CX86Machine::ExecSimd(const TX86Insn& in)
{
    if (ExecSimdMove(in) || ExecSimdLaneMove(in) || ExecSimdArith(in) || ExecSimdShuffle(in) ||
        ExecSimdShift(in) || ExecSse41(in)) {
        return;
    }
    // An opcode of the set with a prefix that selects no instruction: #UD.
    Fault(kKeyRoutineUnsupported);
}

bool CX86Machine::SimdAddress(const TX86Insn& in, unsigned n, bool aligned, uint32_t* addr)
{
    if (!SegmentOk(in, in.DefaultSegIsSS())) {
        return false;
    }
    *addr = EffectiveAddress(in);
    if (aligned && n == 16 && (*addr & 15) != 0) {
        Fault(kKeyRoutineMisaligned, *addr);  // #GP(0), before any access
        return false;
    }
    return true;
}

TX86Vec CX86Machine::LoadVec(uint32_t addr, unsigned n)
{
    TX86Vec v = X86VecZero();
    const uint8_t* p = m_Memory.Map(addr, n);
    if (p == nullptr) {
        Fault(kKeyRoutineBadRead, addr);
        return v;
    }
    for (unsigned i = 0; i < n; ++i) {
        X86SetLane(&v, 1, i, p[i]);
    }
    return v;
}

void CX86Machine::StoreVec(uint32_t addr, unsigned n, const TX86Vec& v)
{
    if (Faulted()) {
        return;
    }
    uint8_t* p = m_Memory.Map(addr, n);
    if (p == nullptr) {
        Fault(kKeyRoutineBadWrite, addr);
        return;
    }
    for (unsigned i = 0; i < n; ++i) {
        p[i] = static_cast<uint8_t>(X86Lane(v, 1, i));
    }
}

TX86Vec CX86Machine::ReadVecRm(const TX86Insn& in, bool mmx, unsigned n, bool aligned)
{
    if (!in.bMem) {
        return VecReg(mmx, in.nRm);
    }
    uint32_t addr = 0;
    if (!SimdAddress(in, n, aligned, &addr)) {
        return X86VecZero();
    }
    return LoadVec(addr, n);
}

void CX86Machine::WriteVecRm(const TX86Insn& in, bool mmx, unsigned n, const TX86Vec& v,
                             bool aligned)
{
    if (!in.bMem) {
        if (!Faulted()) {
            VecReg(mmx, in.nRm) = v;
        }
        return;
    }
    uint32_t addr = 0;
    if (SimdAddress(in, n, aligned, &addr)) {
        StoreVec(addr, n, v);
    }
}
