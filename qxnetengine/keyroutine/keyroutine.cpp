#include "qxnetengine/keyroutine/keyroutine.h"

#include "qxnetengine/keyroutine/x86machine.h"

#include <cstdio>
#include <cstring>

namespace {

const char* FaultText(EKeyRoutineFault fault)
{
    switch (fault) {
    case kKeyRoutineOk: return "completed";
    case kKeyRoutineNoCode: return "no code to run";
    case kKeyRoutineTruncated: return "instruction cut off by the end of the code";
    case kKeyRoutineUnsupported: return "unsupported instruction";
    case kKeyRoutineInterrupt: return "interrupt or system call";
    case kKeyRoutineFarTransfer: return "far transfer";
    case kKeyRoutinePrivileged: return "privileged instruction";
    case kKeyRoutineSegment: return "segment register use";
    case kKeyRoutineBadRead: return "read outside the sandbox";
    case kKeyRoutineBadWrite: return "write outside the sandbox";
    case kKeyRoutineLeftCode: return "control left the code";
    case kKeyRoutineDivide: return "division by zero or overflow";
    case kKeyRoutineAvx: return "AVX instruction, not on the emulated processor";
    case kKeyRoutineMachineInput: return "reads the time or the processor's random source";
    case kKeyRoutineMisaligned: return "misaligned 16-byte SSE operand";
    case kKeyRoutineBudget: return "instruction budget exhausted";
    }
    return "unknown fault";
}

bool HasAddress(EKeyRoutineFault fault)
{
    return fault == kKeyRoutineBadRead || fault == kKeyRoutineBadWrite ||
           fault == kKeyRoutineLeftCode || fault == kKeyRoutineMisaligned;
}

}  // namespace

std::string DescribeKeyRoutineResult(const TKeyRoutineResult& result)
{
    char line[128];
    if (HasAddress(result.nFault)) {
        std::snprintf(line, sizeof(line), "%s at 0x%08X (code offset 0x%X)",
                      FaultText(result.nFault), static_cast<unsigned>(result.nAddress),
                      static_cast<unsigned>(result.nOffset));
    } else {
        std::snprintf(line, sizeof(line), "%s (code offset 0x%X)", FaultText(result.nFault),
                      static_cast<unsigned>(result.nOffset));
    }
    return line;
}

TKeyRoutineResult CKeyRoutineSandbox::Run(const unsigned char* pCode, size_t nCodeLen,
                                          unsigned char pBlock[kBlockSize],
                                          unsigned char nParam) const
{
    if (pCode == nullptr || nCodeLen == 0 || nCodeLen > CX86Memory::kMaxCode) {
        TKeyRoutineResult r = {kKeyRoutineNoCode, 0, CX86Memory::kCodeBase, 0};
        return r;
    }
    // The routine works on a copy; the caller's block changes only on success.
    uint8_t block[kBlockSize];
    std::memcpy(block, pBlock, kBlockSize);
    CX86Machine machine(pCode, static_cast<uint32_t>(nCodeLen), block, kBlockSize, m_nBudget);
    const TKeyRoutineResult r = machine.Run(nParam);
    if (r.IsOk()) {
        std::memcpy(pBlock, block, kBlockSize);
    }
    return r;
}

TKeyRoutineResult CKeyRoutineSandbox::RunInMessage(const unsigned char* pMsg, size_t nMsgLen,
                                                   size_t nEntryOffset, size_t nBlockOffset,
                                                   unsigned char nParam,
                                                   unsigned char pBlockOut[kBlockSize]) const
{
    if (pMsg == nullptr || nMsgLen == 0 || nMsgLen > CX86Memory::kMaxCode ||
        nEntryOffset >= nMsgLen || nBlockOffset > nMsgLen || nMsgLen - nBlockOffset < kBlockSize) {
        TKeyRoutineResult r = {kKeyRoutineNoCode, 0, CX86Memory::kCodeBase, 0};
        return r;
    }
    CX86Machine machine(pMsg, static_cast<uint32_t>(nMsgLen), nullptr, 0, m_nBudget);
    const uint32_t block = CX86Memory::kCodeBase + static_cast<uint32_t>(nBlockOffset);
    const TKeyRoutineResult r = machine.Run(nParam, static_cast<uint32_t>(nEntryOffset), block);
    if (r.IsOk()) {
        std::memcpy(pBlockOut, machine.CodeCopy() + nBlockOffset, kBlockSize);
    }
    return r;
}
