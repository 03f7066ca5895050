#include "qxnetengine/keyroutine/x86alu.h"

namespace {

// Rotates touch CF and OF only. OF is defined for a count of 1; the same
// formula is kept for other counts.
uint32_t Rotate(EX86ShiftOp op, uint32_t a, unsigned count, unsigned size, uint32_t* flags)
{
    const unsigned bits = 8 * size;
    const uint32_t mask = X86Mask(size);
    const uint32_t sign = X86Sign(size);
    bool cf = (*flags & kX86CF) != 0;
    bool of = false;
    uint32_t r = a;
    switch (op) {
    case kX86Rol: {
        const unsigned t = count % bits;
        if (t) {
            r = ((a << t) | (a >> (bits - t))) & mask;
        }
        cf = (r & 1) != 0;
        of = ((r & sign) != 0) != cf;
        break;
    }
    case kX86Ror: {
        const unsigned t = count % bits;
        if (t) {
            r = ((a >> t) | (a << (bits - t))) & mask;
        }
        cf = (r & sign) != 0;
        of = cf != ((r & (sign >> 1)) != 0);
        break;
    }
    case kX86Rcl: {
        // The rotation runs through CF: size * 8 + 1 bits.
        const unsigned t = size == 4 ? count : count % (bits + 1);
        for (unsigned i = 0; i < t; ++i) {
            const bool out = (r & sign) != 0;
            r = ((r << 1) | (cf ? 1u : 0u)) & mask;
            cf = out;
        }
        of = ((r & sign) != 0) != cf;
        break;
    }
    default: {  // rcr
        const unsigned t = size == 4 ? count : count % (bits + 1);
        of = ((a & sign) != 0) != cf;
        for (unsigned i = 0; i < t; ++i) {
            const bool out = (r & 1) != 0;
            r = (r >> 1) | (cf ? sign : 0);
            cf = out;
        }
        break;
    }
    }
    *flags = (*flags & ~(kX86CF | kX86OF)) | (cf ? kX86CF : 0) | (of ? kX86OF : 0);
    return r;
}

}  // namespace

uint32_t X86Shift(EX86ShiftOp op, uint32_t a, unsigned count, unsigned size, uint32_t* flags)
{
    const unsigned bits = 8 * size;
    const uint32_t mask = X86Mask(size);
    a &= mask;
    count &= 31;
    if (count == 0) {
        return a;  // no flag changes at all
    }
    if (op <= kX86Rcr) {
        return Rotate(op, a, count, size, flags);
    }
    uint32_t r = 0;
    bool cf = false;
    bool of = false;
    if (op == kX86Sar) {
        const uint32_t ext = X86SignExtend(a, size);
        const uint32_t fill = (ext & 0x80000000u) ? ~(0xFFFFFFFFu >> count) : 0;
        r = ((ext >> count) | fill) & mask;
        cf = ((ext >> (count - 1)) & 1) != 0;
    } else if (op == kX86Shr) {
        r = count < bits ? a >> count : 0;
        cf = count <= bits && ((a >> (count - 1)) & 1) != 0;
        of = (a & X86Sign(size)) != 0;
    } else {  // shl, sal
        r = count < bits ? (a << count) & mask : 0;
        cf = count <= bits && ((a >> (bits - count)) & 1) != 0;
        of = ((r & X86Sign(size)) != 0) != cf;
    }
    // AF is undefined for shifts and left clear.
    *flags =
        (*flags & ~kX86StatusFlags) | X86FlagsSZP(r, size) | (cf ? kX86CF : 0) | (of ? kX86OF : 0);
    return r;
}

uint32_t X86DoubleShift(bool left, uint32_t dst, uint32_t src, unsigned count, unsigned size,
                        uint32_t* flags)
{
    const unsigned bits = 8 * size;
    const uint32_t mask = X86Mask(size);
    dst &= mask;
    src &= mask;
    count &= 31;
    if (count == 0) {
        return dst;
    }
    // A window of dst and src (dst:src:dst for 16 bits, where counts above
    // 16 are undefined but must still give some value).
    uint32_t r = 0;
    bool cf = false;
    if (left) {
        uint64_t w = (static_cast<uint64_t>(dst) << bits) | src;
        unsigned total = 2 * bits;
        if (size == 2) {
            w = (w << 16) | dst;
            total = 48;
        }
        r = static_cast<uint32_t>((w << count) >> (total - bits)) & mask;
        cf = ((w >> (total - count)) & 1) != 0;
    } else {
        uint64_t w = (static_cast<uint64_t>(src) << bits) | dst;
        if (size == 2) {
            w |= static_cast<uint64_t>(dst) << 32;
        }
        r = static_cast<uint32_t>(w >> count) & mask;
        cf = ((w >> (count - 1)) & 1) != 0;
    }
    const bool of = ((r ^ dst) & X86Sign(size)) != 0;
    *flags =
        (*flags & ~kX86StatusFlags) | X86FlagsSZP(r, size) | (cf ? kX86CF : 0) | (of ? kX86OF : 0);
    return r;
}
