// Arithmetic and logic: add/or/adc/sbb/and/sub/xor/cmp, test, inc/dec,
// not/neg, mul/imul, div/idiv.

#include "qxnetengine/keyroutine/x86alu.h"
#include "qxnetengine/keyroutine/x86machine.h"

namespace {

// Flags of mul/imul: CF and OF tell whether the high half matters; SF, ZF,
// PF and AF are undefined and follow the low half.
uint32_t MulFlags(uint32_t flags, uint32_t low, unsigned size, bool overflow)
{
    const uint32_t f = X86FlagsSZP(low, size) | (overflow ? kX86CF | kX86OF : 0);
    return (flags & ~kX86StatusFlags) | f;
}

}  // namespace

void CX86Machine::ExecAlu(const TX86Insn& in)
{
    const unsigned op = in.nOp;
    if (op < 0x40) {
        const EX86AluOp alu = static_cast<EX86AluOp>((op >> 3) & 7);
        const unsigned size = (op & 1) ? in.nOpSize : 1;
        switch (op & 7) {
        case 0:
        case 1: {
            const uint32_t r = X86Alu(alu, ReadRm(in, size), Reg(in.nReg, size), size, &m_nFlags);
            if (alu != kX86Cmp) {
                WriteRm(in, size, r);
            }
            break;
        }
        case 2:
        case 3: {
            const uint32_t r = X86Alu(alu, Reg(in.nReg, size), ReadRm(in, size), size, &m_nFlags);
            if (alu != kX86Cmp && !Faulted()) {
                SetReg(in.nReg, size, r);
            }
            break;
        }
        default: {
            const uint32_t r = X86Alu(alu, Reg(kEAX, size), in.nImm, size, &m_nFlags);
            if (alu != kX86Cmp) {
                SetReg(kEAX, size, r);
            }
            break;
        }
        }
        return;
    }
    if (op == 0x84 || op == 0x85) {
        const unsigned size = op == 0x84 ? 1 : in.nOpSize;
        X86Alu(kX86And, ReadRm(in, size), Reg(in.nReg, size), size, &m_nFlags);
        return;
    }
    if (op == 0xA8 || op == 0xA9) {
        const unsigned size = op == 0xA8 ? 1 : in.nOpSize;
        X86Alu(kX86And, Reg(kEAX, size), in.nImm, size, &m_nFlags);
        return;
    }
    // Group 1: 80 Eb,Ib; 81 Ev,Iz; 82 (alias of 80); 83 Ev,Ib sign-extended.
    const EX86AluOp alu = static_cast<EX86AluOp>(in.nReg);
    const unsigned size = (op == 0x81 || op == 0x83) ? in.nOpSize : 1;
    const uint32_t imm = op == 0x83 ? X86SignExtend(in.nImm, 1) : in.nImm;
    const uint32_t r = X86Alu(alu, ReadRm(in, size), imm, size, &m_nFlags);
    if (alu != kX86Cmp) {
        WriteRm(in, size, r);
    }
}

void CX86Machine::ExecIncDec(const TX86Insn& in)
{
    if (in.nOp < 0x50) {
        const unsigned r = in.nOp & 7;
        const uint32_t v = Reg(r, in.nOpSize);
        SetReg(r, in.nOpSize,
               in.nOp < 0x48 ? X86Inc(v, in.nOpSize, &m_nFlags) : X86Dec(v, in.nOpSize, &m_nFlags));
        return;
    }
    // FE /0 /1 and FF /0 /1
    if (in.nReg > 1) {
        Fault(kKeyRoutineUnsupported);
        return;
    }
    const unsigned size = in.nOp == 0xFE ? 1 : in.nOpSize;
    const uint32_t v = ReadRm(in, size);
    if (!Faulted()) {
        WriteRm(in, size, in.nReg == 0 ? X86Inc(v, size, &m_nFlags) : X86Dec(v, size, &m_nFlags));
    }
}

void CX86Machine::ExecGroup3(const TX86Insn& in)
{
    const unsigned size = in.nOp == 0xF6 ? 1 : in.nOpSize;
    const uint32_t mask = X86Mask(size);
    const unsigned bits = 8 * size;
    if (in.nReg == 1) {
        Fault(kKeyRoutineUnsupported);  // undocumented alias of test
        return;
    }
    const uint32_t v = ReadRm(in, size);
    if (Faulted()) {
        return;
    }
    switch (in.nReg) {
    case 0: X86Alu(kX86And, v, in.nImm, size, &m_nFlags); break;
    case 2: WriteRm(in, size, ~v & mask); break;
    case 3: WriteRm(in, size, X86Neg(v, size, &m_nFlags)); break;
    case 4:
    case 5: {
        // The accumulator times v into AX, DX:AX or EDX:EAX.
        uint64_t product = 0;
        bool overflow = false;
        if (in.nReg == 4) {
            product = static_cast<uint64_t>(Reg(kEAX, size)) * v;
            overflow = (product >> bits) != 0;
        } else {
            const int64_t sp = X86Signed(Reg(kEAX, size), size) * X86Signed(v, size);
            product = static_cast<uint64_t>(sp);
            overflow = X86Signed(static_cast<uint32_t>(product), size) != sp;
        }
        const uint32_t low = static_cast<uint32_t>(product) & mask;
        const uint32_t high = static_cast<uint32_t>(product >> bits) & mask;
        if (size == 1) {
            SetReg(kEAX, 2, low | (high << 8));
        } else {
            SetReg(kEAX, size, low);
            SetReg(kEDX, size, high);
        }
        m_nFlags = MulFlags(m_nFlags, low, size, overflow);
        break;
    }
    case 6: ExecDivide(size, v, false); break;
    default: ExecDivide(size, v, true); break;
    }
}

void CX86Machine::ExecDivide(unsigned size, uint32_t divisor, bool isSigned)
{
    const unsigned bits = 8 * size;
    const uint32_t mask = X86Mask(size);
    const uint64_t wideMask = size == 4 ? ~0ull : (1ull << (2 * bits)) - 1;
    if (divisor == 0) {
        Fault(kKeyRoutineDivide);
        return;
    }
    uint64_t dividend = 0;
    if (size == 1) {
        dividend = Reg(kEAX, 2);
    } else {
        dividend = (static_cast<uint64_t>(Reg(kEDX, size)) << bits) | Reg(kEAX, size);
    }
    uint64_t q = 0;
    uint64_t r = 0;
    if (!isSigned) {
        q = dividend / divisor;
        r = dividend % divisor;
        if (q > mask) {
            Fault(kKeyRoutineDivide);
            return;
        }
    } else {
        // On magnitudes, so that no host division can overflow.
        const bool dividendNeg = ((dividend >> (2 * bits - 1)) & 1) != 0;
        const bool divisorNeg = (divisor & X86Sign(size)) != 0;
        const uint64_t n = dividendNeg ? (0 - dividend) & wideMask : dividend;
        const uint64_t d = divisorNeg ? (0 - divisor) & mask : divisor;
        q = n / d;
        r = n % d;
        const bool quotientNeg = dividendNeg != divisorNeg;
        const uint64_t limit = quotientNeg ? X86Sign(size) : X86Sign(size) - 1;
        if (q > limit) {
            Fault(kKeyRoutineDivide);
            return;
        }
        if (quotientNeg) {
            q = 0 - q;
        }
        if (dividendNeg) {
            r = 0 - r;  // the remainder takes the dividend's sign
        }
    }
    const uint32_t q32 = static_cast<uint32_t>(q) & mask;
    const uint32_t r32 = static_cast<uint32_t>(r) & mask;
    if (size == 1) {
        SetReg(kEAX, 2, q32 | (r32 << 8));
    } else {
        SetReg(kEAX, size, q32);
        SetReg(kEDX, size, r32);
    }
}

void CX86Machine::ExecImul(const TX86Insn& in)
{
    const unsigned size = in.nOpSize;
    int64_t a = 0;
    int64_t b = 0;
    if (in.nOp == 0x1AF) {
        a = X86Signed(Reg(in.nReg, size), size);
        b = X86Signed(ReadRm(in, size), size);
    } else {
        a = X86Signed(ReadRm(in, size), size);
        b = in.nOp == 0x6B ? X86Signed(in.nImm, 1) : X86Signed(in.nImm, size);
    }
    if (Faulted()) {
        return;
    }
    const int64_t product = a * b;
    const uint32_t low = static_cast<uint32_t>(static_cast<uint64_t>(product)) & X86Mask(size);
    SetReg(in.nReg, size, low);
    m_nFlags = MulFlags(m_nFlags, low, size, X86Signed(low, size) != product);
}
