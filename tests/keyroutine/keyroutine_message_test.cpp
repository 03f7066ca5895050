// The routine run where it lies inside the reply message.
#include "qxnetengine/keyroutine/keyroutine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// Finds its own position with call/pop and XORs the 16 bytes that lie just
// before its first byte (where the key block sits in a reply) with 0x5A,
// ignoring its block argument.
const unsigned char kSelfRelative[] = {
    0xE8, 0x00, 0x00, 0x00, 0x00,  // call next
    0x58,                          // pop eax: eax = entry + 5
    0x31, 0xD2,                    // xor edx, edx
    0x80, 0x74, 0x10, 0xEB, 0x5A,  // loop: xor byte [eax + edx - 21], 0x5A
    0x42,                          // inc edx
    0x83, 0xFA, 0x10,              // cmp edx, 16
    0x75, 0xF5,                    // jne loop
    0xC3,                          // ret
};

// XORs the block it is given with a table of 16 bytes that follows its code.
const unsigned char kTableAfterCode[] = {
    0xE8,
    0x00,
    0x00,
    0x00,
    0x00,  // call next
    0x58,  // pop eax: eax = entry + 5
    0x8B,
    0x4C,
    0x24,
    0x04,  // mov ecx, [esp + 4]: the block
    0x31,
    0xD2,  // xor edx, edx
    0x8A,
    0x5C,
    0x10,
    0x15,  // loop: mov bl, [eax + edx + 21]: the table
    0x30,
    0x1C,
    0x11,  // xor [ecx + edx], bl
    0x42,  // inc edx
    0x83,
    0xFA,
    0x10,  // cmp edx, 16
    0x75,
    0xF3,  // jne loop
    0xC3,  // ret
    // the table, at entry + 26
    1,
    2,
    3,
    4,
    5,
    6,
    7,
    8,
    9,
    10,
    11,
    12,
    13,
    14,
    15,
    16,
};

// Writes far past the end of the message.
const unsigned char kWritesOutside[] = {
    0x8B, 0x4C, 0x24, 0x04,                    // mov ecx, [esp + 4]
    0xC6, 0x81, 0x00, 0x10, 0x00, 0x00, 0x77,  // mov byte [ecx + 0x1000], 0x77
    0xC3,                                      // ret
};

// A reply-like message: 20 bytes in front, the block, then the routine.
std::vector<unsigned char> Message(const unsigned char* code, size_t n)
{
    std::vector<unsigned char> msg(20, 0xEE);
    for (int i = 0; i < 16; ++i) msg.push_back(static_cast<unsigned char>(0x10 * i));
    msg.insert(msg.end(), code, code + n);
    return msg;
}

TEST(KeyRoutineInMessage, RoutinesSeeTheMessageAsTheyWouldNatively)
{
    struct Case {
        const char* name;
        const unsigned char* code;
        size_t len;
        unsigned char (*expect)(int i);
    } cases[] = {
        {"block before the code, found from its own position", kSelfRelative, sizeof kSelfRelative,
         [](int i) { return static_cast<unsigned char>((0x10 * i) ^ 0x5A); }},
        {"table after the code", kTableAfterCode, sizeof kTableAfterCode,
         [](int i) { return static_cast<unsigned char>((0x10 * i) ^ (i + 1)); }},
    };
    CKeyRoutineSandbox sandbox;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<unsigned char> msg = Message(c.code, c.len);
        unsigned char block[16];
        TKeyRoutineResult r = sandbox.RunInMessage(msg.data(), msg.size(), 36, 20, 0, block);
        ASSERT_TRUE(r.IsOk()) << DescribeKeyRoutineResult(r);
        for (int i = 0; i < 16; ++i) EXPECT_EQ(c.expect(i), block[i]) << i;
        EXPECT_EQ(0xEE, msg[0]);  // the caller's message is never written
    }
    // Given the block apart from its code, the self-relative routine faults.
    unsigned char apart[16] = {};
    EXPECT_FALSE(sandbox.Run(kSelfRelative, sizeof kSelfRelative, apart, 0).IsOk());
}

TEST(KeyRoutineInMessage, FaultsAndBadLayoutsLeaveTheBlockAlone)
{
    CKeyRoutineSandbox sandbox;
    std::vector<unsigned char> msg = Message(kWritesOutside, sizeof kWritesOutside);
    unsigned char block[16];
    memset(block, 0xAB, sizeof block);
    TKeyRoutineResult r = sandbox.RunInMessage(msg.data(), msg.size(), 36, 20, 0, block);
    EXPECT_EQ(kKeyRoutineBadWrite, r.nFault);
    EXPECT_EQ(0xAB, block[0]);

    struct Layout {
        size_t len, entry, blockAt;
    } bad[] = {{msg.size(), msg.size(), 20}, {msg.size(), 36, msg.size() - 15}, {0, 0, 0}};
    for (const Layout& l : bad) {
        EXPECT_EQ(kKeyRoutineNoCode,
                  sandbox.RunInMessage(msg.data(), l.len, l.entry, l.blockAt, 0, block).nFault);
    }
    EXPECT_EQ(0xAB, block[0]);
}

}  // namespace
