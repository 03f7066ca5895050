#pragma once
// Integer operations of the interpreter with their EFLAGS effects, for
// operand sizes of 1, 2 and 4 bytes. Values are passed zero-extended and
// results come back masked to the operand size.

#include <cstdint>

const uint32_t kX86CF = 1u << 0;
const uint32_t kX86PF = 1u << 2;
const uint32_t kX86AF = 1u << 4;
const uint32_t kX86ZF = 1u << 6;
const uint32_t kX86SF = 1u << 7;
const uint32_t kX86DF = 1u << 10;
const uint32_t kX86OF = 1u << 11;
const uint32_t kX86StatusFlags = kX86CF | kX86PF | kX86AF | kX86ZF | kX86SF | kX86OF;

inline uint32_t X86Mask(unsigned size) { return size == 4 ? 0xFFFFFFFFu : (1u << (8 * size)) - 1; }

inline uint32_t X86Sign(unsigned size) { return 1u << (8 * size - 1); }

// Sign-extends the low size bytes of v to 32 bits.
inline uint32_t X86SignExtend(uint32_t v, unsigned size)
{
    const uint32_t sign = X86Sign(size);
    v &= X86Mask(size);
    return (v ^ sign) - sign;
}

// The same value as a signed 64-bit integer.
inline int64_t X86Signed(uint32_t v, unsigned size)
{
    const uint32_t ext = X86SignExtend(v, size);
    return (ext & 0x80000000u) ? static_cast<int64_t>(ext) - 0x100000000LL
                               : static_cast<int64_t>(ext);
}

// SF, ZF and PF of a result.
uint32_t X86FlagsSZP(uint32_t result, unsigned size);

// The eight operations of opcodes 00-3F and group 1, in ModRM reg order.
enum EX86AluOp { kX86Add, kX86Or, kX86Adc, kX86Sbb, kX86And, kX86Sub, kX86Xor, kX86Cmp };

uint32_t X86Alu(EX86AluOp op, uint32_t a, uint32_t b, unsigned size, uint32_t* flags);
uint32_t X86Inc(uint32_t a, unsigned size, uint32_t* flags);
uint32_t X86Dec(uint32_t a, unsigned size, uint32_t* flags);
uint32_t X86Neg(uint32_t a, unsigned size, uint32_t* flags);

// Shift group 2 in ModRM reg order (6 is the undocumented alias of shl).
enum EX86ShiftOp { kX86Rol, kX86Ror, kX86Rcl, kX86Rcr, kX86Shl, kX86Shr, kX86Sal, kX86Sar };

// count is the raw count; it is masked to 5 bits as the processor does.
uint32_t X86Shift(EX86ShiftOp op, uint32_t a, unsigned count, unsigned size, uint32_t* flags);
// shld (left) and shrd: dst shifted with bits coming in from src.
uint32_t X86DoubleShift(bool left, uint32_t dst, uint32_t src, unsigned count, unsigned size,
                        uint32_t* flags);

// Condition codes 0-15 of jcc, setcc and cmovcc.
bool X86Condition(unsigned cc, uint32_t flags);
