#include "qxnetengine/keyroutine/x86decode_simd.h"

namespace {

bool In(unsigned op, unsigned lo, unsigned hi) { return op >= lo && op <= hi; }

TX86SimdShape Shape(bool imm8) { return {kKeyRoutineOk, true, imm8}; }

// Floating-point arithmetic, conversions and string compares: the routines
// this runs are integer code, and the emulated processor has no SSE4.2.
TX86SimdShape Refused() { return {kKeyRoutineUnsupported, false, false}; }

}  // namespace

bool X86SimdShape(unsigned map, unsigned op, TX86SimdShape* shape)
{
    if (map == 2) {
        const bool known = In(op, 0x00, 0x0B) || op == 0x10 || op == 0x14 || op == 0x15 ||
                           op == 0x17 || In(op, 0x1C, 0x1E) || In(op, 0x20, 0x25) ||
                           In(op, 0x28, 0x2B) || In(op, 0x30, 0x35) || In(op, 0x37, 0x41);
        *shape = known ? Shape(false) : Refused();
        return true;
    }
    if (map == 3) {
        const bool known =
            In(op, 0x0C, 0x0F) || In(op, 0x14, 0x17) || In(op, 0x20, 0x22) || op == 0x42;
        *shape = known ? Shape(true) : Refused();
        return true;
    }
    if (In(op, 0x10, 0x18) || op == 0x28 || op == 0x29 || op == 0x2B || op == 0x50 ||
        In(op, 0x54, 0x57) || In(op, 0x60, 0x6F) || In(op, 0x74, 0x76) || op == 0x7E ||
        op == 0x7F || op == 0xC3 || In(op, 0xD1, 0xE5) || In(op, 0xE7, 0xFE)) {
        *shape = Shape(false);
        return true;
    }
    if (In(op, 0x70, 0x73) || In(op, 0xC4, 0xC6)) {
        *shape = Shape(true);
        return true;
    }
    if (op == 0x77) {
        *shape = {kKeyRoutineOk, false, false};  // emms
        return true;
    }
    if (In(op, 0x2A, 0x2F) || In(op, 0x51, 0x53) || In(op, 0x58, 0x5F) || In(op, 0x7C, 0x7D) ||
        op == 0xC2 || op == 0xD0 || op == 0xE6 || op == 0xFF) {
        *shape = Refused();
        return true;
    }
    return false;
}
