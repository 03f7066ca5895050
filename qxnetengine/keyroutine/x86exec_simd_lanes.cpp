// Moves between SIMD lanes and general registers or memory: movd, movnti,
// pinsrw/pextrw and the SSE4.1 pinsr/pextr/insertps/extractps, the sign
// masks (pmovmskb, movmskps/pd) and the byte-masked stores maskmovq and
// maskmovdqu.

#include "qxnetengine/keyroutine/x86machine.h"

bool CX86Machine::ExecSimdLaneMove(const TX86Insn& in)
{
    const unsigned op = in.nOp;
    const unsigned pfx = in.SimdPrefix();
    if (pfx != 0 && pfx != 0x66) {
        return false;
    }
    const bool mmx = pfx == 0;
    const unsigned bytes = mmx ? 8 : 16;
    switch (op) {
    case 0x16E: {  // movd mm/xmm, r/m32
        const uint32_t v = ReadRm(in, 4);
        if (!Faulted()) {
            TX86Vec r = X86VecZero();
            r.q[0] = v;
            VecReg(mmx, in.nReg) = r;
        }
        return true;
    }
    case 0x17E:  // movd r/m32, mm/xmm
        WriteRm(in, 4, static_cast<uint32_t>(VecReg(mmx, in.nReg).q[0]));
        return true;
    case 0x1C3:  // movnti m32, r32
        if (!mmx || !in.bMem) {
            return false;
        }
        WriteRm(in, 4, m_Regs[in.nReg]);
        return true;
    case 0x1C4: {  // pinsrw from the low word of r32 or from m16
        const uint32_t v = ReadRm(in, 2);
        if (!Faulted()) {
            X86SetLane(&VecReg(mmx, in.nReg), 2, in.nImm & (bytes / 2 - 1), v);
        }
        return true;
    }
    case 0x1C5:  // pextrw r32, mm/xmm
        if (in.bMem) {
            return false;
        }
        m_Regs[in.nReg] =
            static_cast<uint32_t>(X86Lane(VecReg(mmx, in.nRm), 2, in.nImm & (bytes / 2 - 1)));
        return true;
    case 0x1D7:
    case 0x150: {  // pmovmskb; movmskps and movmskpd (XMM only)
        if (in.bMem) {
            return false;
        }
        const bool onMmx = op == 0x1D7 && mmx;
        const unsigned size = op == 0x1D7 ? 1 : (mmx ? 4 : 8);
        const TX86Vec& v = VecReg(onMmx, in.nRm);
        uint32_t mask = 0;
        for (unsigned i = 0; i < (onMmx ? 8u : 16u) / size; ++i) {
            mask |= static_cast<uint32_t>(X86Lane(v, size, i) >> (8 * size - 1)) << i;
        }
        m_Regs[in.nReg] = mask;
        return true;
    }
    case 0x1F7: {  // maskmovq, maskmovdqu: bytes with the mask's sign bit go to DS:[EDI]
        if (in.bMem) {
            return false;
        }
        if (!SegmentOk(in, false)) {
            return true;
        }
        const TX86Vec& data = VecReg(mmx, in.nReg);
        const TX86Vec& mask = VecReg(mmx, in.nRm);
        for (unsigned i = 0; i < bytes && !Faulted(); ++i) {
            if (X86Lane(mask, 1, i) & 0x80) {
                Store(m_Regs[kEDI] + i, 1, static_cast<uint32_t>(X86Lane(data, 1, i)));
            }
        }
        return true;
    }
    default: break;
    }
    if (op < 0x314 || op > 0x322 || (op > 0x317 && op < 0x320) || pfx != 0x66) {
        return false;
    }
    TX86Vec& x = m_Xmm[in.nReg];
    if (op <= 0x317) {
        // pextrb, pextrw, pextrd, extractps: to r32 (zero-extended) or to memory.
        const unsigned size = op == 0x314 ? 1 : (op == 0x315 ? 2 : 4);
        const uint32_t v = static_cast<uint32_t>(X86Lane(x, size, in.nImm & (16 / size - 1)));
        if (in.bMem) {
            WriteRm(in, size, v);
        } else {
            m_Regs[in.nRm] = v;
        }
        return true;
    }
    if (op == 0x321) {
        // insertps: a dword of the source (chosen by imm 7:6 for a register,
        // the m32 itself for memory) into lane imm 5:4, then lanes of imm 3:0 zeroed.
        uint32_t v = 0;
        if (in.bMem) {
            v = ReadRm(in, 4);
        } else {
            v = static_cast<uint32_t>(X86Lane(m_Xmm[in.nRm], 4, (in.nImm >> 6) & 3));
        }
        if (Faulted()) {
            return true;
        }
        X86SetLane(&x, 4, (in.nImm >> 4) & 3, v);
        for (unsigned i = 0; i < 4; ++i) {
            if ((in.nImm >> i) & 1) {
                X86SetLane(&x, 4, i, 0);
            }
        }
        return true;
    }
    // pinsrb (from the low byte of r32 or m8), pinsrd
    const unsigned size = op == 0x320 ? 1 : 4;
    const uint32_t v = in.bMem ? ReadRm(in, size) : m_Regs[in.nRm];
    if (!Faulted()) {
        X86SetLane(&x, size, in.nImm & (16 / size - 1), v);
    }
    return true;
}
