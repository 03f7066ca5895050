#pragma once
// An IA-32 interpreter for one call of a routine: flat 32-bit protected-mode
// model, the general-purpose integer instructions, MMX and the integer part
// of SSE through SSE4.1, and an address space limited to CX86Memory's
// regions. MMX and XMM registers start zeroed and live only for the run.
// A fault stops the run and is sticky: once set, loads return 0 and stores
// are dropped until the loop sees it.

#include "qxnetengine/keyroutine/keyroutine.h"
#include "qxnetengine/keyroutine/x86decode.h"
#include "qxnetengine/keyroutine/x86memory.h"
#include "qxnetengine/keyroutine/x86vector.h"

#include <cstdint>
#include <vector>

class CX86Machine {
public:
    // Where the routine returns to when it is done; not mapped.
    static constexpr uint32_t kReturnSentinel = 0x7FFF0000;

    // data (dataLen bytes, at most CX86Memory::kMaxData) is changed in place,
    // also when the run faults: callers work on a copy.
    CX86Machine(const uint8_t* code, uint32_t codeLen, uint8_t* data, uint32_t dataLen,
                uint32_t budget);

    // Calls routine(block address, arg), entered at entryOffset of the code,
    // and runs until it returns or faults. The block is the data region
    // unless the caller aims it elsewhere (into the code copy, say).
    TKeyRoutineResult Run(uint32_t arg, uint32_t entryOffset = 0,
                          uint32_t blockAddr = CX86Memory::kDataBase);

    // The code copy as the routine left it.
    const uint8_t* CodeCopy() const { return m_Code.data(); }

private:
    CX86Machine(const CX86Machine&) = delete;
    CX86Machine& operator=(const CX86Machine&) = delete;

    void Fault(EKeyRoutineFault fault, uint32_t addr = 0);
    bool Faulted() const { return m_nFault != kKeyRoutineOk; }
    TKeyRoutineResult Result(EKeyRoutineFault fault, uint32_t offset, uint32_t addr) const;

    // Memory and registers; sizes are 1, 2 or 4 bytes.
    uint32_t Load(uint32_t addr, unsigned size);
    void Store(uint32_t addr, unsigned size, uint32_t v);
    uint32_t Reg(unsigned r, unsigned size) const;
    void SetReg(unsigned r, unsigned size, uint32_t v);
    uint32_t EffectiveAddress(const TX86Insn& in) const;
    bool SegmentOk(const TX86Insn& in, bool defaultIsSS);
    uint32_t ReadRm(const TX86Insn& in, unsigned size);
    void WriteRm(const TX86Insn& in, unsigned size, uint32_t v);
    void Push(uint32_t v, unsigned size);
    uint32_t Pop(unsigned size);
    bool ConsumeBudget();
    uint32_t PackedFlags() const;

    // Instruction groups, one file each.
    void Execute(const TX86Insn& in);
    void ExecuteTwoByte(const TX86Insn& in);
    void ExecAlu(const TX86Insn& in);
    void ExecIncDec(const TX86Insn& in);
    void ExecGroup3(const TX86Insn& in);
    void ExecImul(const TX86Insn& in);
    void ExecDivide(unsigned size, uint32_t divisor, bool isSigned);
    void ExecShift(const TX86Insn& in);
    void ExecDoubleShift(const TX86Insn& in);
    void ExecBitTest(const TX86Insn& in);
    void ExecBitScan(const TX86Insn& in);
    void ExecMove(const TX86Insn& in);
    void ExecStack(const TX86Insn& in);
    void ExecControl(const TX86Insn& in);
    void ExecGroup5(const TX86Insn& in);
    void ExecString(const TX86Insn& in);
    void Jump(uint32_t target);
    void ExecAtomic(const TX86Insn& in);
    void ExecCpuid();
    void ExecSystemHint(const TX86Insn& in);

    // SIMD: one file per group. mmx selects the MMX registers and 8-byte
    // operands, otherwise XMM and 16 bytes.
    void ExecSimd(const TX86Insn& in);
    bool ExecSimdMove(const TX86Insn& in);
    bool ExecSimdLaneMove(const TX86Insn& in);
    bool ExecSimdArith(const TX86Insn& in);
    bool ExecSimdShuffle(const TX86Insn& in);
    bool ExecSimdShift(const TX86Insn& in);
    bool ExecSse41(const TX86Insn& in);
    TX86Vec& VecReg(bool mmx, unsigned r) { return mmx ? m_Mmx[r] : m_Xmm[r]; }
    // The r/m operand: a register, or n bytes of memory zero-extended;
    // aligned demands a 16-byte boundary as the legacy SSE forms do.
    TX86Vec ReadVecRm(const TX86Insn& in, bool mmx, unsigned n, bool aligned);
    void WriteVecRm(const TX86Insn& in, bool mmx, unsigned n, const TX86Vec& v, bool aligned);
    TX86Vec LoadVec(uint32_t addr, unsigned n);
    void StoreVec(uint32_t addr, unsigned n, const TX86Vec& v);
    bool SimdAddress(const TX86Insn& in, unsigned n, bool aligned, uint32_t* addr);

    uint32_t m_Regs[8];
    TX86Vec m_Xmm[8];
    TX86Vec m_Mmx[8];  // low halves only
    uint32_t m_nEip;
    uint32_t m_nFlags;  // status flags and DF
    std::vector<uint8_t> m_Code;
    std::vector<uint8_t> m_Stack;
    CX86Memory m_Memory;
    uint32_t m_nBudget;
    uint32_t m_nExecuted;
    uint32_t m_nOffset;  // code offset of the instruction being run
    EKeyRoutineFault m_nFault;
    uint32_t m_nFaultAddr;
};
