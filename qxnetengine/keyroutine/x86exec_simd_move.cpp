// Whole and half register moves between XMM, MMX and memory: movups/movaps,
// movdqu/movdqa, movq, movss/movsd, movlps/movhps and their pd forms,
// movhlps/movlhps, the SSE3 duplicating moves, the non-temporal moves
// (ordinary stores here), lddqu, movntdqa, movq2dq/movdq2q and emms.

#include "qxnetengine/keyroutine/x86machine.h"

namespace {

TX86Vec LowQword(const TX86Vec& v)
{
    TX86Vec r = {{v.q[0], 0}};
    return r;
}

}  // namespace

bool CX86Machine::ExecSimdMove(const TX86Insn& in)
{
    const unsigned op = in.nOp;
    const unsigned pfx = in.SimdPrefix();
    const bool np66 = pfx == 0 || pfx == 0x66;
    TX86Vec& x = m_Xmm[in.nReg];
    switch (op) {
    case 0x110:
    case 0x111: {
        const bool load = op == 0x110;
        if (np66) {  // movups, movupd
            if (load) {
                x = ReadVecRm(in, false, 16, false);
            } else {
                WriteVecRm(in, false, 16, x, false);
            }
            return true;
        }
        // movss (F3) and movsd (F2): a register target keeps its other
        // lanes; a load from memory zeroes them.
        const unsigned size = pfx == 0xF3 ? 4 : 8;
        if (!in.bMem) {
            TX86Vec& to = load ? x : m_Xmm[in.nRm];
            const TX86Vec& from = load ? m_Xmm[in.nRm] : x;
            X86SetLane(&to, size, 0, X86Lane(from, size, 0));
        } else if (load) {
            const TX86Vec v = ReadVecRm(in, false, size, false);
            if (!Faulted()) {
                x = v;
            }
        } else {
            WriteVecRm(in, false, size, x, false);
        }
        return true;
    }
    case 0x112:
    case 0x116: {
        const bool high = op == 0x116;
        if (pfx == 0xF2 && !high) {  // movddup
            const TX86Vec v = ReadVecRm(in, false, 8, false);
            if (!Faulted()) {
                x.q[0] = v.q[0];
                x.q[1] = v.q[0];
            }
            return true;
        }
        if (pfx == 0xF3) {  // movsldup, movshdup
            const TX86Vec v = ReadVecRm(in, false, 16, true);
            if (!Faulted()) {
                const unsigned k = high ? 1 : 0;
                for (unsigned i = 0; i < 4; ++i) {
                    X86SetLane(&x, 4, i, X86Lane(v, 4, (i & 2) + k));
                }
            }
            return true;
        }
        if (pfx == 0xF2 || (pfx == 0x66 && !in.bMem)) {
            return false;
        }
        // movlps/movhps/movlpd/movhpd from m64; movhlps/movlhps between registers.
        const TX86Vec v = in.bMem ? ReadVecRm(in, false, 8, false) : m_Xmm[in.nRm];
        if (!Faulted()) {
            const uint64_t q = in.bMem ? v.q[0] : v.q[high ? 0 : 1];
            x.q[high ? 1 : 0] = q;
        }
        return true;
    }
    case 0x113:
    case 0x117: {  // movlps/movlpd, movhps/movhpd to m64
        if (!np66 || !in.bMem) {
            return false;
        }
        const TX86Vec v = {{x.q[op == 0x117 ? 1 : 0], 0}};
        WriteVecRm(in, false, 8, v, false);
        return true;
    }
    case 0x128:
    case 0x129:
    case 0x12B:
        if (!np66 || (op == 0x12B && !in.bMem)) {
            return false;
        }
        if (op == 0x128) {
            x = ReadVecRm(in, false, 16, true);
        } else {
            WriteVecRm(in, false, 16, x, true);
        }
        return true;
    case 0x16F:
    case 0x17F: {
        const bool load = op == 0x16F;
        if (pfx == 0xF2) {
            return false;
        }
        const bool mmx = pfx == 0;
        const unsigned n = mmx ? 8 : 16;
        TX86Vec& reg = VecReg(mmx, in.nReg);
        if (load) {
            const TX86Vec v = ReadVecRm(in, mmx, n, pfx == 0x66);
            if (!Faulted()) {
                reg = v;
            }
        } else {
            WriteVecRm(in, mmx, n, reg, pfx == 0x66);
        }
        return true;
    }
    case 0x17E:
        if (pfx != 0xF3) {
            return false;  // movd: the lane moves
        }
        {
            const TX86Vec v = ReadVecRm(in, false, 8, false);
            if (!Faulted()) {
                x = LowQword(v);
            }
        }
        return true;
    case 0x1D6:
        if (pfx == 0x66) {  // movq xmm/m64, xmm: a register target's high half is zeroed
            WriteVecRm(in, false, 8, LowQword(x), false);
            return true;
        }
        if (in.bMem || pfx == 0) {
            return false;
        }
        if (pfx == 0xF3) {
            x = LowQword(m_Mmx[in.nRm]);  // movq2dq
        } else {
            m_Mmx[in.nReg] = LowQword(m_Xmm[in.nRm]);  // movdq2q
        }
        return true;
    case 0x1E7:  // movntq, movntdq
        if (!np66 || !in.bMem) {
            return false;
        }
        WriteVecRm(in, pfx == 0, pfx == 0 ? 8 : 16, VecReg(pfx == 0, in.nReg), pfx == 0x66);
        return true;
    case 0x1F0:  // lddqu
    case 0x22A:  // movntdqa
        if (!in.bMem || pfx != (op == 0x1F0 ? 0xF2u : 0x66u)) {
            return false;
        }
        {
            const TX86Vec v = ReadVecRm(in, false, 16, op == 0x22A);
            if (!Faulted()) {
                x = v;
            }
        }
        return true;
    case 0x177:  // emms: the x87 tags are not part of the model
        return pfx == 0;
    default: return false;
    }
}
