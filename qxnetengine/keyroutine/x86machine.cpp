#include "qxnetengine/keyroutine/x86machine.h"

#include "common/bytes/byteorder.h"
#include "qxnetengine/keyroutine/x86alu.h"

#include <algorithm>

namespace {

// EFLAGS as pushfd shows it in user mode: bit 1 is always set, and so is IF.
const uint32_t kFixedFlags = 0x202;

}  // namespace

CX86Machine::CX86Machine(const uint8_t* code, uint32_t codeLen, uint8_t* data, uint32_t dataLen,
                         uint32_t budget)
    : m_Regs(),
      m_Xmm(),
      m_Mmx(),
      m_nEip(CX86Memory::kCodeBase),
      m_nFlags(0),
      m_Code(code, code + codeLen),
      m_Stack(CX86Memory::kStackSize),
      m_Memory(m_Code.data(), codeLen, m_Stack.data(), data,
               std::min(dataLen, CX86Memory::kMaxData)),
      m_nBudget(budget),
      m_nExecuted(0),
      m_nOffset(0),
      m_nFault(kKeyRoutineOk),
      m_nFaultAddr(0)
{
}

TKeyRoutineResult CX86Machine::Run(uint32_t arg, uint32_t entryOffset, uint32_t blockAddr)
{
    const uint32_t codeLen = static_cast<uint32_t>(m_Code.size());
    if (codeLen == 0 || codeLen > CX86Memory::kMaxCode || entryOffset >= codeLen) {
        return Result(kKeyRoutineNoCode, 0, CX86Memory::kCodeBase);
    }
    m_nEip = CX86Memory::kCodeBase + entryOffset;
    m_Regs[kESP] = CX86Memory::kStackBase + CX86Memory::kStackSize;
    Push(arg, 4);
    Push(blockAddr, 4);
    Push(kReturnSentinel, 4);
    for (;;) {
        if (m_nEip == kReturnSentinel) {
            return Result(kKeyRoutineOk, m_nOffset, 0);
        }
        const uint32_t offset = m_nEip - CX86Memory::kCodeBase;
        if (offset >= codeLen) {
            // Blamed on the instruction that sent control there.
            return Result(kKeyRoutineLeftCode, m_nOffset, m_nEip);
        }
        if (!ConsumeBudget()) {
            return Result(kKeyRoutineBudget, offset, m_nEip);
        }
        TX86Insn in;
        const EKeyRoutineFault fault = DecodeX86(m_Code.data(), codeLen, offset, &in);
        if (fault != kKeyRoutineOk) {
            return Result(fault, offset, m_nEip);
        }
        m_nOffset = offset;
        m_nEip += in.nLen;
        Execute(in);
        if (Faulted()) {
            return Result(m_nFault, offset, m_nFaultAddr);
        }
    }
}

TKeyRoutineResult CX86Machine::Result(EKeyRoutineFault fault, uint32_t offset, uint32_t addr) const
{
    TKeyRoutineResult r;
    r.nFault = fault;
    r.nOffset = offset;
    r.nAddress = addr;
    r.nExecuted = m_nExecuted;
    return r;
}

void CX86Machine::Fault(EKeyRoutineFault fault, uint32_t addr)
{
    if (!Faulted()) {
        m_nFault = fault;
        m_nFaultAddr = addr;
    }
}

bool CX86Machine::ConsumeBudget()
{
    if (m_nExecuted >= m_nBudget) {
        Fault(kKeyRoutineBudget, m_nEip);
        return false;
    }
    ++m_nExecuted;
    return true;
}

uint32_t CX86Machine::Load(uint32_t addr, unsigned size)
{
    const uint8_t* p = m_Memory.Map(addr, size);
    if (p == nullptr) {
        Fault(kKeyRoutineBadRead, addr);
        return 0;
    }
    switch (size) {
    case 1: return *p;
    case 2: return ReadU16LE(p);
    default: return ReadU32LE(p);
    }
}

void CX86Machine::Store(uint32_t addr, unsigned size, uint32_t v)
{
    if (Faulted()) {
        return;
    }
    uint8_t* p = m_Memory.Map(addr, size);
    if (p == nullptr) {
        Fault(kKeyRoutineBadWrite, addr);
        return;
    }
    switch (size) {
    case 1: *p = static_cast<uint8_t>(v); break;
    case 2: WriteU16LE(p, static_cast<uint16_t>(v)); break;
    default: WriteU32LE(p, v); break;
    }
}

uint32_t CX86Machine::Reg(unsigned r, unsigned size) const
{
    switch (size) {
    case 1: return r < 4 ? m_Regs[r] & 0xFF : (m_Regs[r - 4] >> 8) & 0xFF;
    case 2: return m_Regs[r] & 0xFFFF;
    default: return m_Regs[r];
    }
}

void CX86Machine::SetReg(unsigned r, unsigned size, uint32_t v)
{
    switch (size) {
    case 1:
        if (r < 4) {
            m_Regs[r] = (m_Regs[r] & ~0xFFu) | (v & 0xFF);
        } else {
            m_Regs[r - 4] = (m_Regs[r - 4] & ~0xFF00u) | ((v & 0xFF) << 8);
        }
        break;
    case 2: m_Regs[r] = (m_Regs[r] & 0xFFFF0000u) | (v & 0xFFFF); break;
    default: m_Regs[r] = v; break;
    }
}

uint32_t CX86Machine::EffectiveAddress(const TX86Insn& in) const
{
    uint32_t addr = in.nDisp;
    if (in.nBase != kNoReg) {
        addr += m_Regs[in.nBase];
    }
    if (in.nIndex != kNoReg) {
        addr += m_Regs[in.nIndex] << in.nScale;
    }
    return addr;
}

bool CX86Machine::SegmentOk(const TX86Insn& in, bool defaultIsSS)
{
    // All segments are flat, but only the default one is part of the model.
    if (in.nSeg == 0 || in.nSeg == (defaultIsSS ? 0x36 : 0x3E)) {
        return true;
    }
    Fault(kKeyRoutineSegment);
    return false;
}

uint32_t CX86Machine::ReadRm(const TX86Insn& in, unsigned size)
{
    if (!in.bMem) {
        return Reg(in.nRm, size);
    }
    if (!SegmentOk(in, in.DefaultSegIsSS())) {
        return 0;
    }
    return Load(EffectiveAddress(in), size);
}

void CX86Machine::WriteRm(const TX86Insn& in, unsigned size, uint32_t v)
{
    if (!in.bMem) {
        SetReg(in.nRm, size, v);
    } else if (SegmentOk(in, in.DefaultSegIsSS())) {
        Store(EffectiveAddress(in), size, v);
    }
}

void CX86Machine::Push(uint32_t v, unsigned size)
{
    const uint32_t esp = m_Regs[kESP] - size;
    Store(esp, size, v);
    if (!Faulted()) {
        m_Regs[kESP] = esp;
    }
}

uint32_t CX86Machine::Pop(unsigned size)
{
    const uint32_t v = Load(m_Regs[kESP], size);
    if (!Faulted()) {
        m_Regs[kESP] += size;
    }
    return v;
}

uint32_t CX86Machine::PackedFlags() const { return m_nFlags | kFixedFlags; }

void CX86Machine::Execute(const TX86Insn& in)
{
    const unsigned op = in.nOp;
    if (op >= 0x200) {
        ExecSimd(in);  // the 0F 38 and 0F 3A maps
    } else if (op >= 0x100) {
        ExecuteTwoByte(in);
    } else if (op < 0x40 || (op >= 0x80 && op <= 0x85) || op == 0xA8 || op == 0xA9) {
        ExecAlu(in);
    } else if (op < 0x50 || op == 0xFE) {
        ExecIncDec(in);
    } else if (op <= 0x61 || op == 0x68 || op == 0x6A || op == 0x8F || op == 0x9C || op == 0x9D ||
               op == 0xC8 || op == 0xC9) {
        ExecStack(in);
    } else if (op == 0x69 || op == 0x6B) {
        ExecImul(in);
    } else if ((op >= 0x70 && op <= 0x7F) || op == 0xC2 || op == 0xC3 ||
               (op >= 0xE0 && op <= 0xE3) || op == 0xE8 || op == 0xE9 || op == 0xEB) {
        ExecControl(in);
    } else if ((op >= 0xA4 && op <= 0xA7) || (op >= 0xAA && op <= 0xAF)) {
        ExecString(in);
    } else if (op == 0xC0 || op == 0xC1 || (op >= 0xD0 && op <= 0xD3)) {
        ExecShift(in);
    } else if (op == 0xF6 || op == 0xF7) {
        ExecGroup3(in);
    } else if (op == 0xFF) {
        ExecGroup5(in);
    } else {
        ExecMove(in);
    }
}

void CX86Machine::ExecuteTwoByte(const TX86Insn& in)
{
    const unsigned op = in.nOp & 0xFF;
    if (op >= 0x80 && op <= 0x8F) {
        ExecControl(in);
    } else if (op == 0xAF) {
        ExecImul(in);
    } else if (op == 0xA4 || op == 0xA5 || op == 0xAC || op == 0xAD) {
        ExecDoubleShift(in);
    } else if (op == 0xA3 || op == 0xAB || op == 0xB3 || op == 0xBB || op == 0xBA) {
        ExecBitTest(in);
    } else if (op == 0xBC || op == 0xBD) {
        ExecBitScan(in);
    } else if (op == 0xB0 || op == 0xB1 || op == 0xC0 || op == 0xC1 || op == 0xC7) {
        ExecAtomic(in);
    } else if (op == 0xA2) {
        ExecCpuid();
    } else if (op == 0x18 || op == 0xAE) {
        ExecSystemHint(in);
    } else if ((op >= 0x10 && op <= 0x17) || (op >= 0x28 && op <= 0x2B) ||
               (op >= 0x50 && op <= 0x7F) || (op >= 0xC3 && op <= 0xC6) || op >= 0xD0) {
        ExecSimd(in);
    } else {
        ExecMove(in);
    }
}
