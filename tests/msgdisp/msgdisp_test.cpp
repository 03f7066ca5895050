#include "common/msgdisp/msgdisp.h"
#include "common/bytes/byteorder.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

namespace {

struct DispatchCase {
    const char* name;
    std::string pkg;
    bool result;
    int code;
    size_t handled7;  // bodies delivered to the module-7 handler
};

std::string WithPrefix(uint32_t pkgLen, size_t bodySize, unsigned short moduleId = 7)
{
    std::string body = MakeBody(moduleId, 1, std::string(bodySize > 4 ? bodySize - 4 : 0, 'x'));
    body.resize(bodySize);
    std::string pkg = MakePkg(body);
    WriteU32LE(&pkg[0], pkgLen);
    return pkg;
}

std::vector<DispatchCase> DispatchCases()
{
    return {
        {"three bytes", std::string("\x01\x00\x00", 3), false, -1, 0},
        {"prefix one short", WithPrefix(7, 8), false, -1, 0},
        {"prefix one long", WithPrefix(9, 8), false, -1, 0},
        {"prefix zero", WithPrefix(0, 0), false, -1, 0},
        {"prefix one", WithPrefix(1, 1), false, -1, 0},
        {"largest body", WithPrefix(0xFFFF, 0xFFFF), true, 0, 1},
        {"body above limit", WithPrefix(0x10000, 0x10000), false, -1, 0},
        {"module zero", MakePkg(MakeBody(0, 1)), true, 0, 0},
        {"unregistered module", MakePkg(MakeBody(8, 1)), false, 4, 0},
        {"registered module", MakePkg(MakeBody(7, 1, "abc")), true, 0, 1},
        {"module id only", MakePkg(std::string("\x07\x00", 2)), true, 0, 1},
    };
}

TEST(MsgDisp, DispatchVerdicts)
{
    for (const DispatchCase& c : DispatchCases()) {
        SCOPED_TRACE(c.name);
        CMsgDisp disp;
        CRecordingHandler h7(7);
        ASSERT_TRUE(disp.RegisterHandler(&h7));
        EXPECT_EQ(c.result, disp.DispatchPkg(c.pkg.data(), static_cast<unsigned>(c.pkg.size())));
        EXPECT_EQ(c.code, disp.GetErrorCode());
        ASSERT_EQ(c.handled7, h7.m_Bodies.size());
        if (c.handled7) {
            EXPECT_EQ(c.pkg.substr(4), h7.m_Bodies[0]);
        }
    }
}

TEST(MsgDisp, RefusingHandlerGivesCode3)
{
    CMsgDisp disp;
    CRecordingHandler h(7, false);
    disp.RegisterHandler(&h);
    std::string pkg = MakePkg(MakeBody(7, 2));
    EXPECT_FALSE(disp.DispatchPkg(pkg.data(), static_cast<unsigned>(pkg.size())));
    EXPECT_EQ(3, disp.GetErrorCode());
    EXPECT_EQ(1u, h.m_Bodies.size());
    // The next operation starts from code 0 again.
    CRecordingHandler other(9);
    EXPECT_TRUE(disp.RegisterHandler(&other));
    EXPECT_EQ(0, disp.GetErrorCode());
}

TEST(MsgDisp, Registration)
{
    CMsgDisp disp;
    CRecordingHandler first(7), second(7), zero(0), elsewhere(8);

    EXPECT_FALSE(disp.RegisterHandler(&zero));
    EXPECT_EQ(1, disp.GetErrorCode());
    EXPECT_EQ(0, zero.m_nSetSenderCalls);

    EXPECT_TRUE(disp.RegisterHandler(&first));
    EXPECT_TRUE(disp.RegisterHandler(&first));
    EXPECT_EQ(0, disp.GetErrorCode());
    EXPECT_EQ(1, first.m_nSetSenderCalls);  // detached once, not again

    EXPECT_FALSE(disp.RegisterHandler(&second));
    EXPECT_EQ(2, disp.GetErrorCode());
    std::string pkg = MakePkg(MakeBody(7, 1));
    EXPECT_TRUE(disp.DispatchPkg(pkg.data(), static_cast<unsigned>(pkg.size())));
    EXPECT_EQ(1u, first.m_Bodies.size());
    EXPECT_EQ(0u, second.m_Bodies.size());

    EXPECT_FALSE(disp.UnregisterHandler(&second));
    EXPECT_EQ(-1, disp.GetErrorCode());
    EXPECT_FALSE(disp.UnregisterHandler(&elsewhere));
    EXPECT_EQ(-1, disp.GetErrorCode());
    EXPECT_TRUE(disp.DispatchPkg(pkg.data(), static_cast<unsigned>(pkg.size())));
    EXPECT_EQ(2u, first.m_Bodies.size());

    EXPECT_TRUE(disp.UnregisterHandler(&first));
    EXPECT_EQ(1, first.m_nSetSenderCalls);  // unregistering does not call the handler
    EXPECT_FALSE(disp.DispatchPkg(pkg.data(), static_cast<unsigned>(pkg.size())));
    EXPECT_EQ(4, disp.GetErrorCode());

    EXPECT_TRUE(disp.RegisterHandler(&second));
    EXPECT_TRUE(disp.ClearHandlers());
    EXPECT_FALSE(disp.DispatchPkg(pkg.data(), static_cast<unsigned>(pkg.size())));
    EXPECT_EQ(4, disp.GetErrorCode());
}

TEST(MsgDisp, DispatchPkgKeepsSlot2)
{
    // A caller across the library boundary reaches DispatchPkg by its slot.
    typedef bool(QXNET_CALL * DispatchFn)(CMsgDisp*, const char*, unsigned int);
    CMsgDisp disp;
    CRecordingHandler h7(7);
    disp.RegisterHandler(&h7);
    void** vtable = *reinterpret_cast<void***>(&disp);
    DispatchFn dispatch = reinterpret_cast<DispatchFn>(vtable[2]);
    std::string pkg = MakePkg(MakeBody(7, 1, "x"));
    EXPECT_TRUE(dispatch(&disp, pkg.data(), static_cast<unsigned>(pkg.size())));
    ASSERT_EQ(1u, h7.m_Bodies.size());
    EXPECT_EQ(MakeBody(7, 1, "x"), h7.m_Bodies[0]);
}

}  // namespace
