#include "common/msgdisp/pkgsender.h"
#include "common/protocols/resinfo.h"
#include "common/protocols/resinfodisp.h"
#include "qxnetengine/fakesender/fakesender.h"
#include "qxnetengine/nete_filtersender/nete_filtersender.h"
#include "support/fakes.h"
#include "support/hexbytes.h"

#include <gtest/gtest.h>

namespace {

std::string HeldPkg(const CNetEFilterSender& filter)
{
    const CPkgBuffer& buffer = filter.GetPkgBuffer();
    return std::string(buffer.GetData(), buffer.GetLength());
}

TEST(NetEFilterSender, TakesModule300AsAPackage)
{
    CNetEFilterSender filter;
    CRecordingHandler local(300);
    ASSERT_TRUE(filter.GetMsgDisp()->RegisterHandler(&local));

    EXPECT_TRUE(filter.Send("\x2C\x01\x05\x00", 4));
    EXPECT_EQ("04 00 00 00 2C 01 05 00", ToHex(HeldPkg(filter)));
    ASSERT_EQ(1u, local.m_Bodies.size());
    EXPECT_EQ(Hex("2C 01 05 00"), local.m_Bodies[0]);

    std::string big = MakeBody(300, 1, std::string(1996, 'b'));
    EXPECT_TRUE(filter.Send(big.data(), static_cast<unsigned int>(big.size())));
    EXPECT_EQ(2004u, filter.GetPkgBuffer().GetLength());
    EXPECT_FALSE(filter.GetPkgBuffer().IsInline());
    EXPECT_EQ(MakePkg(big), HeldPkg(filter));
    EXPECT_EQ(big, local.m_Bodies.back());

    // Longer than any package may be: taken and dropped, never copied.
    std::string huge = MakeBody(300, 1, std::string(0x10000, 'h'));
    EXPECT_TRUE(filter.Send(huge.data(), static_cast<unsigned int>(huge.size())));
    EXPECT_EQ(2u, local.m_Bodies.size());
    EXPECT_EQ(2004u, filter.GetPkgBuffer().GetCapacity());
}

TEST(NetEFilterSender, DeclinesOtherModulesAndShortBodies)
{
    const char* bodies[] = {"2D 01 01 00 07 00 00 00", "2E 01 01 00", "2C 01 05", "2C", ""};
    CNetEFilterSender filter;
    CRecordingHandler local(300);
    ASSERT_TRUE(filter.GetMsgDisp()->RegisterHandler(&local));
    for (const char* hex : bodies) {
        SCOPED_TRACE(hex);
        std::string body = Hex(hex);
        EXPECT_FALSE(filter.Send(body.data(), static_cast<unsigned int>(body.size())));
    }
    EXPECT_TRUE(local.m_Bodies.empty());
    EXPECT_EQ(0u, filter.GetPkgBuffer().GetLength());
}

TEST(NetEFilterSender, TakesModule300EvenWithoutAHandler)
{
    CNetEFilterSender filter;
    EXPECT_TRUE(filter.Send("\x2C\x01\x01\x00", 4));
    EXPECT_EQ(CMsgDisp::kNoHandler, filter.GetMsgDisp()->GetErrorCode());
}

TEST(NetEFilterSender, InPkgSenderOnlyOtherModulesReachTheSocket)
{
    CPkgSender sender;
    CRecordingSocket socket;
    CNetEFilterSender filter;
    CRecordingHandler local(300);
    ASSERT_TRUE(filter.GetMsgDisp()->RegisterHandler(&local));
    sender.SetSocket(&socket);
    sender.SetFilter(&filter);

    for (unsigned short module : {300, 301, 302}) {
        std::string body = MakeBody(module, 1, "x");
        EXPECT_TRUE(sender.Send(body.data(), static_cast<unsigned int>(body.size())));
    }
    EXPECT_EQ(std::vector<std::string>{MakeBody(300, 1, "x")}, local.m_Bodies);
    EXPECT_EQ(
        (std::vector<std::string>{MakePkg(MakeBody(301, 1, "x")), MakePkg(MakeBody(302, 1, "x"))}),
        socket.m_Sent);
}

// The engine's local service in small: a GetVersions request from the game is
// taken by the filter; the service asks the gate through the same package
// sender (a nested Send) and answers the game through a loopback sender.
class CLocalService : public ResInfo::CResInfo {
public:
    void OnRecv_GetVersions(const uint32_t& version) override
    {
        m_pGate->GetResInfoSvrAddr();
        RetVersions(0, version, 0);
    }
    ResInfoDisp::CResInfoDisp* m_pGate = nullptr;
};

class CGateSide : public ResInfoDisp::CResInfoDisp {
public:
    void OnRecv_RetResInfoSvrAddr(const ResInfoDisp::TIPv4Addr&, const uint16_t&,
                                  const TVecChar&) override
    {
    }
};

TEST(NetEFilterSender, LocalServiceRoundTrip)
{
    CPkgSender sender;
    CRecordingSocket socket;
    CNetEFilterSender filter;
    CMsgDisp mainDisp;
    CFakeSender loopback;
    CLocalService service;
    CGateSide gate;
    CRecordingHandler game(300);

    sender.SetSocket(&socket);
    sender.SetFilter(&filter);
    loopback.SetMsgDisp(&mainDisp);
    ASSERT_TRUE(mainDisp.RegisterHandler(&game));
    ASSERT_TRUE(filter.GetMsgDisp()->RegisterHandler(&service));
    service.SetSender(&loopback);
    service.m_pGate = &gate;
    gate.SetSender(&sender);

    std::string request = MakeBody(300, 1, Hex("07 00 00 00"));
    EXPECT_TRUE(sender.Send(request.data(), static_cast<unsigned int>(request.size())));
    EXPECT_EQ(std::vector<std::string>{Hex("04 00 00 00 2E 01 01 00")}, socket.m_Sent);
    ASSERT_EQ(1u, game.m_Bodies.size());
    EXPECT_EQ("2C 01 01 00 00 00 00 00 07 00 00 00 00 00 00 00", ToHex(game.m_Bodies[0]));
}

}  // namespace
