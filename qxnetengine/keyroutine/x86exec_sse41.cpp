// The remaining SSE4.1 integer instructions: pmovsx/pmovzx, ptest,
// phminposuw and mpsadbw.

#include "qxnetengine/keyroutine/x86alu.h"
#include "qxnetengine/keyroutine/x86machine.h"

bool CX86Machine::ExecSse41(const TX86Insn& in)
{
    const unsigned op = in.nOp;
    if (in.SimdPrefix() != 0x66) {
        return false;
    }
    TX86Vec& x = m_Xmm[in.nReg];
    if ((op >= 0x220 && op <= 0x225) || (op >= 0x230 && op <= 0x235)) {
        // Widen the low lanes: bw, bd, bq, wd, wq, dq. The memory operand
        // is only as large as the lanes read, and needs no alignment.
        static const uint8_t kFrom[6] = {1, 1, 1, 2, 2, 4};
        static const uint8_t kTo[6] = {2, 4, 8, 4, 8, 8};
        const unsigned k = op & 0xF;
        const unsigned from = kFrom[k];
        const unsigned to = kTo[k];
        const unsigned n = 16 / to;
        const TX86Vec s = ReadVecRm(in, false, n * from, false);
        if (Faulted()) {
            return true;
        }
        const bool sign = op < 0x230;
        TX86Vec r = X86VecZero();
        for (unsigned i = 0; i < n; ++i) {
            const uint64_t v =
                sign ? static_cast<uint64_t>(X86SignedLane(s, from, i)) : X86Lane(s, from, i);
            X86SetLane(&r, to, i, v);
        }
        x = r;
        return true;
    }
    if (op == 0x217 || op == 0x241 || op == 0x342) {
        const TX86Vec s = ReadVecRm(in, false, 16, true);
        if (Faulted()) {
            return true;
        }
        if (op == 0x217) {
            // ptest: ZF when dst AND src is zero, CF when src AND NOT dst is;
            // the other status flags are cleared.
            const bool zf = ((x.q[0] & s.q[0]) | (x.q[1] & s.q[1])) == 0;
            const bool cf = ((~x.q[0] & s.q[0]) | (~x.q[1] & s.q[1])) == 0;
            m_nFlags = (m_nFlags & ~kX86StatusFlags) | (zf ? kX86ZF : 0) | (cf ? kX86CF : 0);
        } else if (op == 0x241) {
            // phminposuw: the smallest unsigned word and its (first) index.
            unsigned best = 0;
            for (unsigned i = 1; i < 8; ++i) {
                if (X86Lane(s, 2, i) < X86Lane(s, 2, best)) {
                    best = i;
                }
            }
            TX86Vec r = X86VecZero();
            X86SetLane(&r, 2, 0, X86Lane(s, 2, best));
            X86SetLane(&r, 2, 1, best);
            x = r;
        } else {
            // mpsadbw: eight sums of absolute differences of a 4-byte block of
            // the source (imm 1:0) against sliding 4-byte windows of the
            // destination starting at byte 4 * imm bit 2.
            const unsigned srcAt = 4 * (in.nImm & 3);
            const unsigned dstAt = 4 * ((in.nImm >> 2) & 1);
            TX86Vec r = X86VecZero();
            for (unsigned i = 0; i < 8; ++i) {
                uint64_t sum = 0;
                for (unsigned j = 0; j < 4; ++j) {
                    const uint64_t a = X86Lane(x, 1, dstAt + i + j);
                    const uint64_t b = X86Lane(s, 1, srcAt + j);
                    sum += a > b ? a - b : b - a;
                }
                X86SetLane(&r, 2, i, sum);
            }
            x = r;
        }
        return true;
    }
    return false;
}
