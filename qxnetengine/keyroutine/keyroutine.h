#pragma once
// Runs the gate server's key routine (32-bit x86 machine code) in an
// interpreter that can touch nothing but the key block, the routine's own
// bytes and a private stack, so hostile bytes end in a fault, never in code
// running inside the game.

#include <cstddef>
#include <cstdint>
#include <string>

// Why a routine stopped.
enum EKeyRoutineFault {
    kKeyRoutineOk = 0,
    kKeyRoutineNoCode,        // empty, or too large to map
    kKeyRoutineTruncated,     // an instruction runs past the end of the code
    kKeyRoutineUnsupported,   // an instruction outside the interpreted set, or an invalid encoding
    kKeyRoutineInterrupt,     // int, int3, into, int1, syscall, sysenter
    kKeyRoutineFarTransfer,   // far call, far jump, far return, iret
    kKeyRoutinePrivileged,    // port I/O, hlt, cli/sti, system instructions
    kKeyRoutineSegment,       // segment registers, or a segment override other than the default
    kKeyRoutineBadRead,       // a read outside the code, the stack and the key block
    kKeyRoutineBadWrite,      // a write outside the code copy, the stack and the key block
    kKeyRoutineLeftCode,      // control went outside the code
    kKeyRoutineDivide,        // division by zero or a quotient that does not fit
    kKeyRoutineAvx,           // VEX or EVEX encoded (AVX): beyond the emulated processor
    kKeyRoutineMachineInput,  // rdtsc, rdtscp, rdpmc, rdrand, rdseed: differs from run to run
    kKeyRoutineMisaligned,    // a 16-byte SSE operand that must be aligned and is not
    kKeyRoutineBudget,        // more instructions than the budget allows
};

struct TKeyRoutineResult {
    EKeyRoutineFault nFault;
    uint32_t nOffset;    // code offset of the instruction that stopped the routine
    uint32_t nAddress;   // the address at fault (memory access, or where control went)
    uint32_t nExecuted;  // instructions executed, string iterations counted one by one

    bool IsOk() const { return nFault == kKeyRoutineOk; }
};

// A line for the log, e.g. "write outside the sandbox at 0x00300010 (code offset 0x1A)".
std::string DescribeKeyRoutineResult(const TKeyRoutineResult& result);

// Calls the routine as routine(block, param) with the cdecl or stdcall
// convention. The block changes only if the routine returns normally.
class CKeyRoutineSandbox {
public:
    static constexpr uint32_t kBlockSize = 16;
    static constexpr uint32_t kDefaultBudget = 4000000;

    explicit CKeyRoutineSandbox(uint32_t nBudget = kDefaultBudget) : m_nBudget(nBudget) {}

    TKeyRoutineResult Run(const unsigned char* pCode, size_t nCodeLen,
                          unsigned char pBlock[kBlockSize], unsigned char nParam) const;

    // Runs the routine where it lies inside a message, as it would run
    // from the message's own buffer: the whole message is mapped as one
    // region (readable, and writable in the sandbox's copy), the routine is
    // entered at nEntryOffset and given the block at nBlockOffset, so it may
    // reach the block, the bytes around it or its own tables relative to its
    // position. On success pBlockOut receives the block as the routine left it.
    TKeyRoutineResult RunInMessage(const unsigned char* pMsg, size_t nMsgLen, size_t nEntryOffset,
                                   size_t nBlockOffset, unsigned char nParam,
                                   unsigned char pBlockOut[kBlockSize]) const;

private:
    uint32_t m_nBudget;
};
