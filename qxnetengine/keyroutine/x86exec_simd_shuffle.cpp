// Packed data rearrangement: unpacks, packs with saturation, the word and
// dword shuffles, shufps/shufpd, pshufb, palignr and the SSE4.1 blends.

#include "qxnetengine/keyroutine/x86machine.h"

namespace {

// Interleaves the low (or high) halves of a and b in lanes of size.
TX86Vec Unpack(const TX86Vec& a, const TX86Vec& b, unsigned size, unsigned bytes, bool high)
{
    TX86Vec r = X86VecZero();
    const unsigned half = bytes / size / 2;
    for (unsigned i = 0; i < half; ++i) {
        const unsigned from = high ? half + i : i;
        X86SetLane(&r, size, 2 * i, X86Lane(a, size, from));
        X86SetLane(&r, size, 2 * i + 1, X86Lane(b, size, from));
    }
    return r;
}

// Narrows signed lanes of size to size / 2 with saturation: a fills the low
// half of the result, b the high half.
TX86Vec Pack(const TX86Vec& a, const TX86Vec& b, unsigned size, unsigned bytes, bool toUnsigned)
{
    TX86Vec r = X86VecZero();
    const unsigned n = bytes / size;
    const int64_t bits = 4 * size;
    const int64_t lo = toUnsigned ? 0 : -(int64_t(1) << (bits - 1));
    const int64_t hi = toUnsigned ? (int64_t(1) << bits) - 1 : (int64_t(1) << (bits - 1)) - 1;
    for (unsigned i = 0; i < 2 * n; ++i) {
        int64_t v = X86SignedLane(i < n ? a : b, size, i % n);
        v = v < lo ? lo : (v > hi ? hi : v);
        X86SetLane(&r, size / 2, i, static_cast<uint64_t>(v));
    }
    return r;
}

// Four lanes of size starting at lane first, each picked by two bits of imm.
void Shuffle4(const TX86Vec& src, unsigned size, unsigned first, unsigned imm, TX86Vec* r)
{
    for (unsigned i = 0; i < 4; ++i) {
        X86SetLane(r, size, first + i, X86Lane(src, size, first + ((imm >> (2 * i)) & 3)));
    }
}

bool IsMmxOrSse2(unsigned pfx) { return pfx == 0 || pfx == 0x66; }

}  // namespace

bool CX86Machine::ExecSimdShuffle(const TX86Insn& in)
{
    const unsigned op = in.nOp;
    const unsigned pfx = in.SimdPrefix();
    const bool mmx = pfx == 0;
    const unsigned bytes = mmx ? 8 : 16;
    // Operations on (destination, source) that give the new destination.
    if ((op >= 0x160 && op <= 0x16B) || op == 0x16C || op == 0x16D || op == 0x200 || op == 0x30F ||
        op == 0x22B) {
        if (!IsMmxOrSse2(pfx) || (mmx && (op == 0x16C || op == 0x16D || op == 0x22B))) {
            return false;
        }
        if (op >= 0x164 && op <= 0x166) {
            return false;  // pcmpgt: the arithmetic group
        }
        // The MMX low unpacks read only 4 bytes of memory.
        const unsigned n = (mmx && op >= 0x160 && op <= 0x162) ? 4 : bytes;
        const TX86Vec b = ReadVecRm(in, mmx, n, !mmx);
        if (Faulted()) {
            return true;
        }
        TX86Vec& a = VecReg(mmx, in.nReg);
        TX86Vec r = X86VecZero();
        switch (op) {
        case 0x160: r = Unpack(a, b, 1, bytes, false); break;
        case 0x161: r = Unpack(a, b, 2, bytes, false); break;
        case 0x162: r = Unpack(a, b, 4, bytes, false); break;
        case 0x16C: r = Unpack(a, b, 8, bytes, false); break;
        case 0x168: r = Unpack(a, b, 1, bytes, true); break;
        case 0x169: r = Unpack(a, b, 2, bytes, true); break;
        case 0x16A: r = Unpack(a, b, 4, bytes, true); break;
        case 0x16D: r = Unpack(a, b, 8, bytes, true); break;
        case 0x163: r = Pack(a, b, 2, bytes, false); break;
        case 0x167: r = Pack(a, b, 2, bytes, true); break;
        case 0x16B: r = Pack(a, b, 4, bytes, false); break;
        case 0x22B: r = Pack(a, b, 4, bytes, true); break;
        case 0x200:  // pshufb
            for (unsigned i = 0; i < bytes; ++i) {
                const uint64_t sel = X86Lane(b, 1, i);
                X86SetLane(&r, 1, i, (sel & 0x80) ? 0 : X86Lane(a, 1, sel & (bytes - 1)));
            }
            break;
        default:  // palignr: destination:source shifted right by imm bytes
            for (unsigned i = 0; i < bytes; ++i) {
                const unsigned k = i + in.nImm;
                const uint64_t v =
                    k < bytes ? X86Lane(b, 1, k) : (k < 2 * bytes ? X86Lane(a, 1, k - bytes) : 0);
                X86SetLane(&r, 1, i, v);
            }
            break;
        }
        a = r;
        return true;
    }
    if (op == 0x170) {
        // pshufw (MMX), pshufd (66), pshuflw (F2), pshufhw (F3)
        const bool onMmx = pfx == 0;
        const TX86Vec s = ReadVecRm(in, onMmx, onMmx ? 8 : 16, !onMmx);
        if (Faulted()) {
            return true;
        }
        TX86Vec r = s;
        switch (pfx) {
        case 0: Shuffle4(s, 2, 0, in.nImm, &r); break;
        case 0x66: Shuffle4(s, 4, 0, in.nImm, &r); break;
        case 0xF2: Shuffle4(s, 2, 0, in.nImm, &r); break;
        default: Shuffle4(s, 2, 4, in.nImm, &r); break;
        }
        VecReg(onMmx, in.nReg) = r;
        return true;
    }
    if (op == 0x1C6 || op == 0x114 || op == 0x115) {
        // shufps/shufpd, unpcklps/pd, unpckhps/pd: XMM only, no prefix or 66.
        if (!IsMmxOrSse2(pfx)) {
            return false;
        }
        const TX86Vec b = ReadVecRm(in, false, 16, true);
        if (Faulted()) {
            return true;
        }
        TX86Vec& a = m_Xmm[in.nReg];
        const unsigned size = pfx == 0x66 ? 8 : 4;
        TX86Vec r = X86VecZero();
        if (op == 0x1C6 && size == 4) {
            for (unsigned i = 0; i < 4; ++i) {
                X86SetLane(&r, 4, i, X86Lane(i < 2 ? a : b, 4, (in.nImm >> (2 * i)) & 3));
            }
        } else if (op == 0x1C6) {
            X86SetLane(&r, 8, 0, X86Lane(a, 8, in.nImm & 1));
            X86SetLane(&r, 8, 1, X86Lane(b, 8, (in.nImm >> 1) & 1));
        } else {
            r = Unpack(a, b, size, 16, op == 0x115);
        }
        a = r;
        return true;
    }
    if (op == 0x30C || op == 0x30D || op == 0x30E || op == 0x210 || op == 0x214 || op == 0x215) {
        // The SSE4.1 blends: a lane comes from the source where the immediate's
        // bit, or for the variable forms the sign of XMM0's lane, is set.
        if (pfx != 0x66) {
            return false;
        }
        const TX86Vec b = ReadVecRm(in, false, 16, true);
        if (Faulted()) {
            return true;
        }
        TX86Vec& a = m_Xmm[in.nReg];
        const unsigned size = (op == 0x30E)                  ? 2
                              : (op == 0x30C || op == 0x214) ? 4
                              : (op == 0x30D || op == 0x215) ? 8
                                                             : 1;
        const bool variable = op < 0x300;  // 0F 38: the mask is XMM0
        for (unsigned i = 0; i < 16 / size; ++i) {
            const bool take =
                variable ? X86SignedLane(m_Xmm[0], size, i) < 0 : ((in.nImm >> i) & 1) != 0;
            if (take) {
                X86SetLane(&a, size, i, X86Lane(b, size, i));
            }
        }
        return true;
    }
    return false;
}
