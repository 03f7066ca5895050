#include "qxnetengine/keyroutine/x86decode.h"

#include "qxnetengine/keyroutine/x86decode_simd.h"

namespace {

// The processor refuses instructions longer than this.
const uint32_t kMaxInsnLen = 15;

enum EImm : uint8_t {
    kImmNone,
    kImm8,
    kImm16,
    kImmZ,      // 16 or 32 bits by operand size
    kImm16_8,   // enter
    kImm32,     // moffs: 32-bit address size only
    kImmGroup3  // F6/F7: test has an immediate, the others none
};

struct TOpInfo {
    EKeyRoutineFault nFault;
    bool bModrm;
    EImm nImm;
};

const TOpInfo kPlain = {kKeyRoutineOk, false, kImmNone};
const TOpInfo kModrm = {kKeyRoutineOk, true, kImmNone};

TOpInfo Info(bool modrm, EImm imm) { return {kKeyRoutineOk, modrm, imm}; }

TOpInfo Refused(EKeyRoutineFault fault) { return {fault, false, kImmNone}; }

bool In(unsigned op, unsigned lo, unsigned hi) { return op >= lo && op <= hi; }

TOpInfo OneByteInfo(unsigned op)
{
    if (op < 0x40) {
        switch (op & 7) {
        case 4: return Info(false, kImm8);
        case 5: return Info(false, kImmZ);
        case 6:
        case 7:
            // push/pop of segment registers below 0x20; BCD adjustments above
            return Refused(op < 0x20 ? kKeyRoutineSegment : kKeyRoutineUnsupported);
        default: return kModrm;
        }
    }
    if (In(op, 0x40, 0x61) || In(op, 0x90, 0x99) || In(op, 0x9C, 0x9F) || In(op, 0xA4, 0xA7) ||
        In(op, 0xAA, 0xAF)) {
        return kPlain;
    }
    if (In(op, 0x70, 0x7F) || In(op, 0xB0, 0xB7) || In(op, 0xE0, 0xE3) || op == 0x6A ||
        op == 0xA8 || op == 0xEB) {
        return Info(false, kImm8);
    }
    if (In(op, 0xB8, 0xBF) || op == 0x68 || op == 0xA9 || op == 0xE8 || op == 0xE9) {
        return Info(false, kImmZ);
    }
    if (In(op, 0x84, 0x8B) || op == 0x8D || op == 0x8F || In(op, 0xD0, 0xD3) || op == 0xFE ||
        op == 0xFF) {
        return kModrm;
    }
    if (op == 0x80 || op == 0x82 || op == 0x83 || op == 0x6B || op == 0xC0 || op == 0xC1 ||
        op == 0xC6) {
        return Info(true, kImm8);
    }
    if (op == 0x81 || op == 0x69 || op == 0xC7) {
        return Info(true, kImmZ);
    }
    if (In(op, 0xA0, 0xA3)) {
        return Info(false, kImm32);
    }
    switch (op) {
    case 0xC2: return Info(false, kImm16);
    case 0xC3:
    case 0xC9:
    case 0xD7:
    case 0xF5:
    case 0xF8:
    case 0xF9:
    case 0xFC:
    case 0xFD: return kPlain;
    case 0xC8: return Info(false, kImm16_8);
    case 0xF6:
    case 0xF7: return Info(true, kImmGroup3);
    case 0xCC:
    case 0xCD:
    case 0xCE:
    case 0xF1: return Refused(kKeyRoutineInterrupt);
    case 0x9A:
    case 0xCA:
    case 0xCB:
    case 0xCF:
    case 0xEA: return Refused(kKeyRoutineFarTransfer);
    case 0x8C:
    case 0x8E:
    case 0xC4:
    case 0xC5: return Refused(kKeyRoutineSegment);
    case 0xF4:
    case 0xFA:
    case 0xFB: return Refused(kKeyRoutinePrivileged);
    default: break;
    }
    if (In(op, 0x6C, 0x6F) || In(op, 0xE4, 0xE7) || In(op, 0xEC, 0xEF)) {
        return Refused(kKeyRoutinePrivileged);
    }
    // bound, arpl, fwait, aam/aad/salc, x87, lock
    return Refused(kKeyRoutineUnsupported);
}

TOpInfo TwoByteInfo(unsigned op)
{
    TX86SimdShape simd;
    if (X86SimdShape(1, op, &simd)) {
        return {simd.nFault, simd.bModrm, simd.bImm8 ? kImm8 : kImmNone};
    }
    if (op == 0xB0 || op == 0xB1 || op == 0xC0 || op == 0xC1 || op == 0xC7 || op == 0xAE) {
        return kModrm;  // cmpxchg, xadd, group 9, group 15
    }
    if (op == 0xA2) {
        return kPlain;  // cpuid
    }
    if (In(op, 0x40, 0x4F) || In(op, 0x90, 0x9F) || op == 0x1F || op == 0xA3 || op == 0xA5 ||
        op == 0xAB || op == 0xAD || op == 0xAF || op == 0xB3 || In(op, 0xB6, 0xB7) || op == 0xBB ||
        In(op, 0xBC, 0xBF)) {
        return kModrm;
    }
    if (op == 0xA4 || op == 0xAC || op == 0xBA) {
        return Info(true, kImm8);
    }
    if (In(op, 0x80, 0x8F)) {
        return Info(false, kImmZ);
    }
    if (In(op, 0xC8, 0xCF)) {
        return kPlain;
    }
    switch (op) {
    case 0x05:
    case 0x07:
    case 0x34:
    case 0x35: return Refused(kKeyRoutineInterrupt);  // syscall, sysret, sysenter, sysexit
    case 0x31:
    case 0x33: return Refused(kKeyRoutineMachineInput);  // rdtsc, rdpmc
    case 0x00:
    case 0x01:
    case 0x06:
    case 0x08:
    case 0x09:
    case 0x20:
    case 0x21:
    case 0x22:
    case 0x23:
    case 0x30:
    case 0x32: return Refused(kKeyRoutinePrivileged);
    case 0xA0:
    case 0xA1:
    case 0xA8:
    case 0xA9:
    case 0xB2:
    case 0xB4:
    case 0xB5: return Refused(kKeyRoutineSegment);
    default: return Refused(kKeyRoutineUnsupported);
    }
}

class CCodeReader {
public:
    CCodeReader(const uint8_t* code, uint32_t codeLen, uint32_t offset)
        : m_pCode(code), m_nCodeLen(codeLen), m_nStart(offset), m_nPos(offset)
    {
    }

    // False when the byte lies past the code or past the longest instruction.
    bool Byte(uint8_t* b, EKeyRoutineFault* fault)
    {
        if (m_nPos - m_nStart >= kMaxInsnLen) {
            *fault = kKeyRoutineUnsupported;
            return false;
        }
        if (m_nPos >= m_nCodeLen) {
            *fault = kKeyRoutineTruncated;
            return false;
        }
        *b = m_pCode[m_nPos++];
        return true;
    }

    // Little-endian value of n bytes.
    bool Value(unsigned n, uint32_t* v, EKeyRoutineFault* fault)
    {
        uint32_t r = 0;
        for (unsigned i = 0; i < n; ++i) {
            uint8_t b = 0;
            if (!Byte(&b, fault)) {
                return false;
            }
            r |= static_cast<uint32_t>(b) << (8 * i);
        }
        *v = r;
        return true;
    }

    uint32_t Length() const { return m_nPos - m_nStart; }

    // The next byte without consuming it; 0 past the end.
    uint8_t Peek() const { return m_nPos < m_nCodeLen ? m_pCode[m_nPos] : 0; }

private:
    const uint8_t* m_pCode;
    uint32_t m_nCodeLen;
    uint32_t m_nStart;
    uint32_t m_nPos;
};

bool DecodeModrm(CCodeReader* rd, TX86Insn* insn, EKeyRoutineFault* fault)
{
    uint8_t modrm = 0;
    if (!rd->Byte(&modrm, fault)) {
        return false;
    }
    insn->bModrm = true;
    insn->nMod = modrm >> 6;
    insn->nReg = (modrm >> 3) & 7;
    insn->nRm = modrm & 7;
    insn->bMem = insn->nMod != 3;
    if (!insn->bMem) {
        return true;
    }
    insn->nBase = insn->nRm;
    if (insn->nRm == 4) {
        uint8_t sib = 0;
        if (!rd->Byte(&sib, fault)) {
            return false;
        }
        insn->nScale = sib >> 6;
        insn->nIndex = ((sib >> 3) & 7) == kESP ? kNoReg : (sib >> 3) & 7;
        insn->nBase = sib & 7;
        if (insn->nBase == kEBP && insn->nMod == 0) {
            insn->nBase = kNoReg;
            return rd->Value(4, &insn->nDisp, fault);
        }
    } else if (insn->nRm == kEBP && insn->nMod == 0) {
        insn->nBase = kNoReg;
        return rd->Value(4, &insn->nDisp, fault);
    }
    if (insn->nMod == 1) {
        uint32_t d = 0;
        if (!rd->Value(1, &d, fault)) {
            return false;
        }
        insn->nDisp = (d ^ 0x80u) - 0x80u;
        return true;
    }
    return insn->nMod == 2 ? rd->Value(4, &insn->nDisp, fault) : true;
}

bool DecodeImmediate(CCodeReader* rd, EImm imm, TX86Insn* insn, EKeyRoutineFault* fault)
{
    switch (imm) {
    case kImmNone: return true;
    case kImm8: return rd->Value(1, &insn->nImm, fault);
    case kImm16: return rd->Value(2, &insn->nImm, fault);
    case kImmZ: return rd->Value(insn->nOpSize, &insn->nImm, fault);
    case kImm32: return rd->Value(4, &insn->nImm, fault);
    case kImm16_8: return rd->Value(2, &insn->nImm, fault) && rd->Value(1, &insn->nImm2, fault);
    case kImmGroup3:
        if (insn->nReg != 0) {
            return true;  // not, neg, mul, imul, div, idiv (and the /1 alias, refused later)
        }
        return rd->Value(insn->nOp == 0xF6 ? 1 : insn->nOpSize, &insn->nImm, fault);
    }
    return true;
}

// lock is valid only on a read-modify-write of memory.
bool LockAllowed(const TX86Insn& in)
{
    if (!in.bMem) {
        return false;
    }
    const unsigned op = in.nOp;
    if (op < 0x40) {
        return (op & 7) < 2 && op < 0x38;  // the memory-destination forms, not cmp
    }
    switch (op) {
    case 0x80:
    case 0x81:
    case 0x82:
    case 0x83: return in.nReg != 7;  // not cmp
    case 0x86:
    case 0x87:
    case 0x1AB:
    case 0x1B3:
    case 0x1BB:
    case 0x1B0:
    case 0x1B1:
    case 0x1C0:
    case 0x1C1: return true;
    case 0xF6:
    case 0xF7: return in.nReg == 2 || in.nReg == 3;  // not, neg
    case 0xFE:
    case 0xFF: return in.nReg < 2;    // inc, dec
    case 0x1BA: return in.nReg >= 5;  // bts, btr, btc
    case 0x1C7: return in.nReg == 1;  // cmpxchg8b
    default: return false;
    }
}

}  // namespace

EKeyRoutineFault DecodeX86(const uint8_t* code, uint32_t codeLen, uint32_t offset, TX86Insn* insn)
{
    *insn = TX86Insn();
    insn->nOffset = offset;
    insn->nOpSize = 4;
    insn->nBase = kNoReg;
    insn->nIndex = kNoReg;
    CCodeReader rd(code, codeLen, offset);
    EKeyRoutineFault fault = kKeyRoutineOk;
    uint8_t b = 0;
    for (;;) {
        if (!rd.Byte(&b, &fault)) {
            return fault;
        }
        if (b == 0x66) {
            insn->nOpSize = 2;
        } else if (b == 0xF2 || b == 0xF3) {
            insn->nRep = b;
        } else if (b == 0x26 || b == 0x2E || b == 0x36 || b == 0x3E || b == 0x64 || b == 0x65) {
            insn->nSeg = b;
        } else if (b == 0xF0) {
            insn->bLock = true;
        } else if (b == 0x67) {
            // 16-bit addressing has no use in a key routine
            return kKeyRoutineUnsupported;
        } else {
            break;
        }
    }
    TOpInfo info;
    if (b == 0x0F) {
        if (!rd.Byte(&b, &fault)) {
            return fault;
        }
        insn->nOp = static_cast<uint16_t>(0x100 | b);
        info = TwoByteInfo(b);
        if (b == 0x38 || b == 0x3A) {
            const unsigned map = b == 0x38 ? 2 : 3;
            if (!rd.Byte(&b, &fault)) {
                return fault;
            }
            insn->nOp = static_cast<uint16_t>((map << 8) | b);
            TX86SimdShape simd;
            X86SimdShape(map, b, &simd);
            info = {simd.nFault, simd.bModrm, simd.bImm8 ? kImm8 : kImmNone};
        } else if (b == 0x01 && rd.Peek() == 0xF9) {
            return kKeyRoutineMachineInput;  // rdtscp
        }
        // F3 0F BC is bsf on older processors and tzcnt on newer ones, the
        // same for a non-zero source: compilers emit it to count trailing
        // zeros, so it runs as bsf. F3 0F BD (lzcnt) differs from bsr for
        // every source and popcnt is outside the set: both refused.
        if (insn->nRep == 0xF3 && (b == 0xBD || b == 0xB8)) {
            return kKeyRoutineUnsupported;
        }
    } else {
        insn->nOp = b;
        info = OneByteInfo(b);
        // In 32-bit code C4, C5 and 62 with a register ModRM are VEX and EVEX.
        if ((b == 0xC4 || b == 0xC5 || b == 0x62) && (rd.Peek() & 0xC0) == 0xC0) {
            return kKeyRoutineAvx;
        }
    }
    if (info.nFault != kKeyRoutineOk) {
        return info.nFault;
    }
    if (info.bModrm && !DecodeModrm(&rd, insn, &fault)) {
        return fault;
    }
    if (!DecodeImmediate(&rd, info.nImm, insn, &fault)) {
        return fault;
    }
    if (insn->nOp == 0x1C7 && !insn->bMem && insn->nReg >= 6) {
        return kKeyRoutineMachineInput;  // rdrand, rdseed
    }
    if (insn->bLock && !LockAllowed(*insn)) {
        return kKeyRoutineUnsupported;  // the processor raises #UD
    }
    insn->nLen = rd.Length();
    return kKeyRoutineOk;
}
