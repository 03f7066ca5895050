#include "common/msgdisp/msgdisp.h"
#include "protocoltest.h"
#include "support/fakes.h"
#include "support/hexbytes.h"

#include <cstdint>

#include <gtest/gtest.h>

namespace {

// One handler of each module, reached through IMsgHandler as a dispatcher would.
struct CHandlers {
    CTestResInfo m_ResInfo;
    CTestResInfoInner m_Inner;
    CTestResInfoDisp m_Disp;

    IMsgHandler* For(int module)
    {
        return module == 300   ? static_cast<IMsgHandler*>(&m_ResInfo)
               : module == 301 ? static_cast<IMsgHandler*>(&m_Inner)
                               : static_cast<IMsgHandler*>(&m_Disp);
    }
    TCallLog& LogOf(int module)
    {
        return module == 300   ? static_cast<TCallLog&>(m_ResInfo)
               : module == 301 ? static_cast<TCallLog&>(m_Inner)
                               : static_cast<TCallLog&>(m_Disp);
    }
    bool OnMsg(int module, const std::string& body)
    {
        return For(module)->OnMsg(body.data(), static_cast<unsigned int>(body.size()));
    }
};

struct RecvCase {
    int module;
    const char* body;
    bool result;
    const char* log;
    bool surplus = false;  // the last byte is beyond the message
};

const RecvCase kRecvCases[] = {
    {300, "2C 01 01 00 07 00 00 00", true, "GetVersions 7;"},
    {300, "2C 01 01 00 07 00 00 00 FF", true, "GetVersions 7;", true},
    {300, "2C 01 01 00 07 00 00", false, ""},
    {300, "2C 01 01 00", false, ""},
    {300, "2C 01 02 00 07 00 00 00", false, ""},  // an id the class only sends
    {300, "2C 01 01", false, ""},
    {300, "", false, ""},
    {301, "2D 01 04 00 00 00", false, ""},
    {301, "2D 01 01 00 00", true, "RetVersionList;"},
    {301, "2D 01 01 00 02 01 00 00 00 FF FF FF FF", false, ""},
    {301, "2D 01 01 00 02 01 00 00 00 FF FF FF FF 02 00 00 00 03 00 00 00", true,
     "RetVersionList 1/-1 2/3;"},
    {301, "2D 01 01 00 FF", false, ""},
    {301, "2D 01 02 00 10 00 00 00 05 00 00 00", true, "RetFileInfo 16 5;"},
    {301, "2D 01 02 00 10 00 00 00 05 00 00", false, ""},
    {301, "2D 01 03 00 02 02 61 62 01 63", true, "RetFileBuffer ab|c;"},
    {301, "2D 01 03 00 02 02 61 62", false, ""},
    {301, "2D 01 03 00 01 03 61 62", false, ""},
    {301, "2D 01 03 00 00", true, "RetFileBuffer ;"},
    {302, "2E 01 01 00", false, ""},
    {302, "2E 01 01 00 7F 00 00 01 39 30 03 61 62 63", true,
     "RetResInfoSvrAddr 127.0.0.1:12345 abc;"},
    {302, "2E 01 01 00 7F 00 00 01 39 30 00", true, "RetResInfoSvrAddr 127.0.0.1:12345 ;"},
    {302, "2E 01 01 00 7F 00 00 01 39 30", false, ""},
    {302, "2E 01 01 00 7F 00 00", false, ""},
    {302, "2E 01 00 00 7F 00 00 01 39 30 00", false, ""},
};

TEST(ProtocolRecv, DecodesOrRefuses)
{
    for (const RecvCase& c : kRecvCases) {
        SCOPED_TRACE(::testing::Message() << c.module << ": " << c.body);
        CHandlers h;
        EXPECT_EQ(c.result, h.OnMsg(c.module, Hex(c.body)));
        EXPECT_EQ(c.log, h.LogOf(c.module).m_strLog);
    }
}

// Any message cut short, at any byte, is refused without a callback.
TEST(ProtocolRecv, EveryTruncationIsRefused)
{
    for (const RecvCase& c : kRecvCases) {
        std::string body = Hex(c.body);
        if (!c.result)
            continue;
        const size_t cut = body.size() - (c.surplus ? 1 : 0);
        for (size_t n = 0; n < cut; ++n) {
            SCOPED_TRACE(::testing::Message() << c.body << " cut to " << n);
            CHandlers h;
            EXPECT_FALSE(h.OnMsg(c.module, body.substr(0, n)));
            EXPECT_EQ("", h.LogOf(c.module).m_strLog);
        }
    }
}

TEST(ProtocolRecv, ThrowingCallbackEndsInFalse)
{
    CHandlers h;
    h.m_Inner.m_bThrow = true;
    EXPECT_FALSE(h.OnMsg(301, Hex("2D 01 02 00 10 00 00 00 05 00 00 00")));
    EXPECT_EQ("RetFileInfo 16 5;", h.m_Inner.m_strLog);

    // The dispatcher sees a refused message, not an exception.
    CMsgDisp disp;
    ASSERT_TRUE(disp.RegisterHandler(&h.m_Inner));
    EXPECT_FALSE(disp.DispatchPkg(MakePkg(Hex("2D 01 03 00 00")).data(), 9));
    EXPECT_EQ(CMsgDisp::kRejected, disp.GetErrorCode());
}

#if !defined(_WIN32)
TEST(ProtocolRecv, ReportsWhereDecodingFailed)
{
    CHandlers h;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(h.OnMsg(301, Hex("2D 01 01 00 02 01 00 00 00 FF FF FF FF")));
    EXPECT_FALSE(h.OnMsg(302, Hex("2E 01 01 00")));
    EXPECT_EQ(
        "Exception at: ResInfoInner::CResInfoInner::_DoRecv_RetVersionList\n"
        "Exception at: ResInfoDisp::CResInfoDisp::_DoRecv_RetResInfoSvrAddr\n",
        ::testing::internal::GetCapturedStderr());
}
#endif

// Random bodies with the ids the classes know: decoding must never read past
// the body (the sanitisers watch) and a refusal never calls back.
TEST(ProtocolRecv, RandomBodiesAreHandledSafely)
{
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    CHandlers h;
    int accepted = 0;
    for (int i = 0; i < 4000; ++i) {
        int module = 300 + static_cast<int>(next() % 3);
        std::string body = MakeBody(static_cast<unsigned short>(module),
                                    static_cast<unsigned short>(next() % 5), "");
        size_t len = next() % 48;
        for (size_t k = 0; k < len; ++k)
            body += static_cast<char>(next() % 4 == 0 ? next() % 4 : next());
        body.resize(next() % 8 == 0 ? next() % 4 : body.size());
        TCallLog& log = h.LogOf(module);
        std::string before = log.m_strLog;
        // An exact-size heap copy, so a read past the end cannot go unnoticed.
        std::vector<char> exact(body.begin(), body.end());
        bool ok = h.For(module)->OnMsg(exact.data(), static_cast<unsigned int>(exact.size()));
        if (ok)
            ++accepted;
        else
            EXPECT_EQ(before, log.m_strLog);
        log.m_strLog.clear();
    }
    EXPECT_GT(accepted, 0);
}

}  // namespace
