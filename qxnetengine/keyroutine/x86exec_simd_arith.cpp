// Packed integer arithmetic, compares and logic: MMX and its SSE2 forms,
// the SSE logical ops, SSSE3 sign/abs/horizontal ops, the SSE4.1 min/max
// and multiplies.

#include "qxnetengine/keyroutine/x86machine.h"

namespace {

enum ELaneOp {
    kAdd,
    kSub,
    kAddS,  // signed saturation
    kSubS,
    kAddU,  // unsigned saturation
    kSubU,
    kCmpEq,
    kCmpGt,
    kMinU,
    kMaxU,
    kMinS,
    kMaxS,
    kAvgU,
    kMulLo,
    kMulHiS,
    kMulHiU,
    kMulHrs,
    kAnd,
    kAndN,
    kOr,
    kXor,
    kSign,
    kAbs,
};

// Where an opcode runs: kMmxOrSse2 without a prefix on MMX and with 66 on
// XMM; kSse2Only needs 66; kXmmAny runs on XMM without a prefix or with 66
// (the ps and pd logical ops).
enum EForms { kMmxOrSse2, kSse2Only, kXmmAny };

struct TLaneOp {
    uint16_t nOp;
    uint8_t nSize;
    EForms nForms;
    ELaneOp nKind;
};

const TLaneOp kLaneOps[] = {
    {0x1FC, 1, kMmxOrSse2, kAdd},    {0x1FD, 2, kMmxOrSse2, kAdd},
    {0x1FE, 4, kMmxOrSse2, kAdd},    {0x1D4, 8, kMmxOrSse2, kAdd},
    {0x1F8, 1, kMmxOrSse2, kSub},    {0x1F9, 2, kMmxOrSse2, kSub},
    {0x1FA, 4, kMmxOrSse2, kSub},    {0x1FB, 8, kMmxOrSse2, kSub},
    {0x1EC, 1, kMmxOrSse2, kAddS},   {0x1ED, 2, kMmxOrSse2, kAddS},
    {0x1E8, 1, kMmxOrSse2, kSubS},   {0x1E9, 2, kMmxOrSse2, kSubS},
    {0x1DC, 1, kMmxOrSse2, kAddU},   {0x1DD, 2, kMmxOrSse2, kAddU},
    {0x1D8, 1, kMmxOrSse2, kSubU},   {0x1D9, 2, kMmxOrSse2, kSubU},
    {0x174, 1, kMmxOrSse2, kCmpEq},  {0x175, 2, kMmxOrSse2, kCmpEq},
    {0x176, 4, kMmxOrSse2, kCmpEq},  {0x229, 8, kSse2Only, kCmpEq},
    {0x164, 1, kMmxOrSse2, kCmpGt},  {0x165, 2, kMmxOrSse2, kCmpGt},
    {0x166, 4, kMmxOrSse2, kCmpGt},  {0x1DA, 1, kMmxOrSse2, kMinU},
    {0x1DE, 1, kMmxOrSse2, kMaxU},   {0x1EA, 2, kMmxOrSse2, kMinS},
    {0x1EE, 2, kMmxOrSse2, kMaxS},   {0x238, 1, kSse2Only, kMinS},
    {0x239, 4, kSse2Only, kMinS},    {0x23A, 2, kSse2Only, kMinU},
    {0x23B, 4, kSse2Only, kMinU},    {0x23C, 1, kSse2Only, kMaxS},
    {0x23D, 4, kSse2Only, kMaxS},    {0x23E, 2, kSse2Only, kMaxU},
    {0x23F, 4, kSse2Only, kMaxU},    {0x1E0, 1, kMmxOrSse2, kAvgU},
    {0x1E3, 2, kMmxOrSse2, kAvgU},   {0x1D5, 2, kMmxOrSse2, kMulLo},
    {0x240, 4, kSse2Only, kMulLo},   {0x1E5, 2, kMmxOrSse2, kMulHiS},
    {0x1E4, 2, kMmxOrSse2, kMulHiU}, {0x20B, 2, kMmxOrSse2, kMulHrs},
    {0x1DB, 8, kMmxOrSse2, kAnd},    {0x1DF, 8, kMmxOrSse2, kAndN},
    {0x1EB, 8, kMmxOrSse2, kOr},     {0x1EF, 8, kMmxOrSse2, kXor},
    {0x154, 8, kXmmAny, kAnd},       {0x155, 8, kXmmAny, kAndN},
    {0x156, 8, kXmmAny, kOr},        {0x157, 8, kXmmAny, kXor},
    {0x208, 1, kMmxOrSse2, kSign},   {0x209, 2, kMmxOrSse2, kSign},
    {0x20A, 4, kMmxOrSse2, kSign},   {0x21C, 1, kMmxOrSse2, kAbs},
    {0x21D, 2, kMmxOrSse2, kAbs},    {0x21E, 4, kMmxOrSse2, kAbs},
};

// Arithmetic shift right of a signed value without relying on how the
// host shifts negative numbers.
int64_t Asr(int64_t v, unsigned s) { return v >= 0 ? v >> s : ~((~v) >> s); }

int64_t Clamp(int64_t v, int64_t lo, int64_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

uint64_t Saturate(int64_t v, unsigned size, bool isSigned)
{
    const unsigned bits = 8 * size;
    if (isSigned) {
        const int64_t hi = (int64_t(1) << (bits - 1)) - 1;
        return static_cast<uint64_t>(Clamp(v, -hi - 1, hi)) & X86LaneMask(size);
    }
    return static_cast<uint64_t>(Clamp(v, 0, (int64_t(1) << bits) - 1));
}

int64_t Signed(uint64_t x, unsigned size)
{
    TX86Vec v = X86VecZero();
    X86SetLane(&v, size, 0, x);
    return X86SignedLane(v, size, 0);
}

uint64_t LaneOp(ELaneOp kind, uint64_t a, uint64_t b, unsigned size)
{
    const uint64_t mask = X86LaneMask(size);
    const int64_t sa = Signed(a, size);
    const int64_t sb = Signed(b, size);
    switch (kind) {
    case kAdd: return (a + b) & mask;
    case kSub: return (a - b) & mask;
    case kAddS: return Saturate(sa + sb, size, true);
    case kSubS: return Saturate(sa - sb, size, true);
    case kAddU: return Saturate(static_cast<int64_t>(a + b), size, false);
    case kSubU: return a > b ? a - b : 0;
    case kCmpEq: return a == b ? mask : 0;
    case kCmpGt: return sa > sb ? mask : 0;
    case kMinU: return a < b ? a : b;
    case kMaxU: return a > b ? a : b;
    case kMinS: return (sa < sb ? a : b);
    case kMaxS: return (sa > sb ? a : b);
    case kAvgU: return (a + b + 1) >> 1;
    case kMulLo: return (a * b) & mask;
    case kMulHiS: return static_cast<uint64_t>(Asr(sa * sb, 16)) & mask;
    case kMulHiU: return (a * b) >> 16;
    case kMulHrs: return static_cast<uint64_t>(Asr(Asr(sa * sb, 14) + 1, 1)) & mask;
    case kAnd: return a & b;
    case kAndN: return ~a & b;
    case kOr: return a | b;
    case kXor: return a ^ b;
    case kSign: return sb < 0 ? (0 - a) & mask : (sb == 0 ? 0 : a);
    case kAbs: return static_cast<uint64_t>(sb < 0 ? -sb : sb) & mask;
    }
    return 0;
}

// pmaddwd, pmaddubsw, psadbw, pmuludq, pmuldq and the horizontal adds:
// lanes of the result combine several lanes of the operands.
bool Combine(unsigned op, const TX86Vec& a, const TX86Vec& b, unsigned bytes, TX86Vec* r)
{
    *r = X86VecZero();
    switch (op) {
    case 0x1F5:  // pmaddwd
        for (unsigned j = 0; j < bytes / 4; ++j) {
            const int64_t s = X86SignedLane(a, 2, 2 * j) * X86SignedLane(b, 2, 2 * j) +
                              X86SignedLane(a, 2, 2 * j + 1) * X86SignedLane(b, 2, 2 * j + 1);
            X86SetLane(r, 4, j, static_cast<uint64_t>(s));
        }
        return true;
    case 0x204:  // pmaddubsw: unsigned bytes of the destination, signed of the source
        for (unsigned j = 0; j < bytes / 2; ++j) {
            const int64_t s =
                static_cast<int64_t>(X86Lane(a, 1, 2 * j)) * X86SignedLane(b, 1, 2 * j) +
                static_cast<int64_t>(X86Lane(a, 1, 2 * j + 1)) * X86SignedLane(b, 1, 2 * j + 1);
            X86SetLane(r, 2, j, Saturate(s, 2, true));
        }
        return true;
    case 0x1F6:  // psadbw
        for (unsigned j = 0; j < bytes / 8; ++j) {
            uint64_t sum = 0;
            for (unsigned i = 8 * j; i < 8 * j + 8; ++i) {
                const uint64_t x = X86Lane(a, 1, i);
                const uint64_t y = X86Lane(b, 1, i);
                sum += x > y ? x - y : y - x;
            }
            X86SetLane(r, 8, j, sum);
        }
        return true;
    case 0x1F4:  // pmuludq
    case 0x228:  // pmuldq
        for (unsigned j = 0; j < bytes / 8; ++j) {
            if (op == 0x1F4) {
                X86SetLane(r, 8, j, X86Lane(a, 4, 2 * j) * X86Lane(b, 4, 2 * j));
            } else {
                const int64_t p = X86SignedLane(a, 4, 2 * j) * X86SignedLane(b, 4, 2 * j);
                X86SetLane(r, 8, j, static_cast<uint64_t>(p));
            }
        }
        return true;
    default: break;
    }
    if (op < 0x201 || op > 0x207 || op == 0x204) {
        return false;
    }
    // phaddw/d/sw, phsubw/d/sw: pairs of the destination, then of the source.
    const unsigned size = (op == 0x202 || op == 0x206) ? 4 : 2;
    const bool sub = op >= 0x205;
    const bool sat = op == 0x203 || op == 0x207;
    const unsigned half = bytes / size / 2;
    for (unsigned i = 0; i < 2 * half; ++i) {
        const TX86Vec& s = i < half ? a : b;
        const unsigned k = 2 * (i % half);
        const int64_t x = X86SignedLane(s, size, k);
        const int64_t y = X86SignedLane(s, size, k + 1);
        const int64_t v = sub ? x - y : x + y;
        X86SetLane(r, size, i, sat ? Saturate(v, size, true) : static_cast<uint64_t>(v));
    }
    return true;
}

}  // namespace

bool CX86Machine::ExecSimdArith(const TX86Insn& in)
{
    const unsigned pfx = in.SimdPrefix();
    const TLaneOp* lane = nullptr;
    for (const TLaneOp& op : kLaneOps) {
        if (op.nOp == in.nOp) {
            lane = &op;
            break;
        }
    }
    const bool combined = in.nOp == 0x1F5 || in.nOp == 0x1F6 || in.nOp == 0x1F4 ||
                          in.nOp == 0x228 || (in.nOp >= 0x201 && in.nOp <= 0x207);
    if (lane == nullptr && !combined) {
        return false;
    }
    const EForms forms =
        lane != nullptr ? lane->nForms : (in.nOp == 0x228 ? kSse2Only : kMmxOrSse2);
    const bool mmx = pfx == 0 && forms == kMmxOrSse2;
    if (pfx != 0 && pfx != 0x66) {
        return false;
    }
    if (pfx == 0 && forms == kSse2Only) {
        return false;
    }
    const unsigned bytes = mmx ? 8 : 16;
    const TX86Vec b = ReadVecRm(in, mmx, bytes, !mmx);
    if (Faulted()) {
        return true;
    }
    TX86Vec& dst = VecReg(mmx, in.nReg);
    TX86Vec r = X86VecZero();
    if (lane == nullptr) {
        Combine(in.nOp, dst, b, bytes, &r);
    } else {
        for (unsigned i = 0; i < bytes / lane->nSize; ++i) {
            X86SetLane(&r, lane->nSize, i,
                       LaneOp(lane->nKind, X86Lane(dst, lane->nSize, i), X86Lane(b, lane->nSize, i),
                              lane->nSize));
        }
    }
    dst = r;
    return true;
}
