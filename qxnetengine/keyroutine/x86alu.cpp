#include "qxnetengine/keyroutine/x86alu.h"

uint32_t X86FlagsSZP(uint32_t result, unsigned size)
{
    result &= X86Mask(size);
    uint32_t flags = 0;
    if (result == 0) {
        flags |= kX86ZF;
    }
    if (result & X86Sign(size)) {
        flags |= kX86SF;
    }
    // PF: even number of set bits in the low byte; 0x6996 holds the parity of each nibble.
    const uint32_t folded = (result ^ (result >> 4)) & 0xF;
    if (((0x6996u >> folded) & 1) == 0) {
        flags |= kX86PF;
    }
    return flags;
}

namespace {

uint32_t SetStatus(uint32_t* flags, uint32_t status)
{
    *flags = (*flags & ~kX86StatusFlags) | status;
    return *flags;
}

uint32_t Add(uint32_t a, uint32_t b, uint32_t carry, unsigned size, uint32_t* flags)
{
    const uint32_t mask = X86Mask(size);
    const uint64_t wide = static_cast<uint64_t>(a) + b + carry;
    const uint32_t r = static_cast<uint32_t>(wide) & mask;
    uint32_t f = X86FlagsSZP(r, size);
    if (wide > mask) {
        f |= kX86CF;
    }
    if ((a ^ r) & (b ^ r) & X86Sign(size)) {
        f |= kX86OF;
    }
    if ((a ^ b ^ r) & 0x10) {
        f |= kX86AF;
    }
    SetStatus(flags, f);
    return r;
}

uint32_t Sub(uint32_t a, uint32_t b, uint32_t borrow, unsigned size, uint32_t* flags)
{
    const uint32_t r = (a - b - borrow) & X86Mask(size);
    uint32_t f = X86FlagsSZP(r, size);
    if (static_cast<uint64_t>(a) < static_cast<uint64_t>(b) + borrow) {
        f |= kX86CF;
    }
    if ((a ^ b) & (a ^ r) & X86Sign(size)) {
        f |= kX86OF;
    }
    if ((a ^ b ^ r) & 0x10) {
        f |= kX86AF;
    }
    SetStatus(flags, f);
    return r;
}

uint32_t Logic(uint32_t r, unsigned size, uint32_t* flags)
{
    // CF and OF cleared; AF is undefined and cleared too.
    SetStatus(flags, X86FlagsSZP(r, size));
    return r;
}

}  // namespace

uint32_t X86Alu(EX86AluOp op, uint32_t a, uint32_t b, unsigned size, uint32_t* flags)
{
    const uint32_t mask = X86Mask(size);
    a &= mask;
    b &= mask;
    const uint32_t carry = (*flags & kX86CF) ? 1 : 0;
    switch (op) {
    case kX86Add: return Add(a, b, 0, size, flags);
    case kX86Adc: return Add(a, b, carry, size, flags);
    case kX86Sub:
    case kX86Cmp: return Sub(a, b, 0, size, flags);
    case kX86Sbb: return Sub(a, b, carry, size, flags);
    case kX86Or: return Logic(a | b, size, flags);
    case kX86And: return Logic(a & b, size, flags);
    case kX86Xor: return Logic(a ^ b, size, flags);
    }
    return 0;
}

uint32_t X86Inc(uint32_t a, unsigned size, uint32_t* flags)
{
    const uint32_t cf = *flags & kX86CF;
    const uint32_t r = Add(a & X86Mask(size), 1, 0, size, flags);
    *flags = (*flags & ~kX86CF) | cf;
    return r;
}

uint32_t X86Dec(uint32_t a, unsigned size, uint32_t* flags)
{
    const uint32_t cf = *flags & kX86CF;
    const uint32_t r = Sub(a & X86Mask(size), 1, 0, size, flags);
    *flags = (*flags & ~kX86CF) | cf;
    return r;
}

uint32_t X86Neg(uint32_t a, unsigned size, uint32_t* flags)
{
    return Sub(0, a & X86Mask(size), 0, size, flags);
}

bool X86Condition(unsigned cc, uint32_t flags)
{
    const bool sf = (flags & kX86SF) != 0;
    const bool of = (flags & kX86OF) != 0;
    bool r = false;
    switch ((cc >> 1) & 7) {
    case 0: r = of; break;
    case 1: r = (flags & kX86CF) != 0; break;
    case 2: r = (flags & kX86ZF) != 0; break;
    case 3: r = (flags & (kX86CF | kX86ZF)) != 0; break;
    case 4: r = sf; break;
    case 5: r = (flags & kX86PF) != 0; break;
    case 6: r = sf != of; break;
    case 7: r = (flags & kX86ZF) != 0 || sf != of; break;
    }
    return (cc & 1) ? !r : r;
}
