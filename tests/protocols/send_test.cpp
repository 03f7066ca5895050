#include "protocoltest.h"
#include "support/hexbytes.h"

#include <gtest/gtest.h>

namespace {

TEST(ProtocolSend, BodiesByteForByte)
{
    CKeepingSender sender;
    CTestResInfo resInfo;
    CTestResInfoInner inner;
    CTestResInfoDisp disp;
    resInfo.SetSender(&sender);
    inner.SetSender(&sender);
    disp.SetSender(&sender);

    inner.GetVersionList(7);
    disp.GetResInfoSvrAddr();
    ResInfoInner::TVersionInfo file;
    file.Version = 1;
    file.SubNo = -1;
    inner.GetFile(file, 2, ResInfoInner::CResInfoInner::kWholeRest);
    resInfo.RetVersions(-2, 5, 3);
    resInfo.RetResInfo(9, TVecChar{'a', 'b', 'c'}, TBigString{{'x', 'y'}});

    const char* expected[] = {
        "2D 01 01 00 07 00 00 00",
        "2E 01 01 00",
        "2D 01 02 00 01 00 00 00 FF FF FF FF 02 00 00 00 FF FF FF FF",
        "2C 01 01 00 FE FF FF FF 05 00 00 00 03 00 00 00",
        "2C 01 02 00 09 00 00 00 03 61 62 63 01 02 78 79",
    };
    ASSERT_EQ(std::size(expected), sender.m_Sent.size());
    for (size_t i = 0; i < sender.m_Sent.size(); ++i)
        EXPECT_EQ(expected[i], ToHex(sender.m_Sent[i]));
}

TEST(ProtocolSend, TooLongFieldThrowsAndSendsNothing)
{
    CKeepingSender sender;
    CTestResInfo resInfo;
    resInfo.SetSender(&sender);
    try {
        resInfo.RetResInfo(1, TVecChar(256, 'p'), TBigString());
        ADD_FAILURE() << "no exception";
    } catch (const std::exception& e) {
        EXPECT_STREQ(TXT_LENGTH_TOO_LONG, e.what());
    }
    EXPECT_TRUE(sender.m_Sent.empty());
}

TEST(ProtocolSend, NothingWithoutASender)
{
    CTestResInfo resInfo;
    CTestResInfoInner inner;
    CTestResInfoDisp disp;
    resInfo.RetVersions(0, 0, 0);
    resInfo.RetResInfo(1, TVecChar(256, 'p'), TBigString());  // not even encoded
    inner.GetVersionList(7);
    disp.GetResInfoSvrAddr();

    CKeepingSender sender;
    EXPECT_EQ(nullptr, inner.SetSender(&sender));
    EXPECT_EQ(&sender, inner.SetSender(nullptr));
    inner.GetVersionList(7);
    EXPECT_TRUE(sender.m_Sent.empty());
}

TEST(ProtocolSend, ModuleIdsThroughTheInterface)
{
    CTestResInfo resInfo;
    CTestResInfoInner inner;
    CTestResInfoDisp disp;
    IMsgHandler* handlers[] = {&resInfo, &inner, &disp};
    EXPECT_EQ(300, handlers[0]->GetModuleId());
    EXPECT_EQ(301, handlers[1]->GetModuleId());
    EXPECT_EQ(302, handlers[2]->GetModuleId());
}

}  // namespace
