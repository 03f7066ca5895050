#pragma once
// A logged-in engine for the tests: a dispatch server pointing at a gate
// listener on the test's own loop, and the gate's side of the handshake.

#include "common/syncwnd/msgsyncwnd.h"
#include "dispserver.h"
#include "enginefixture.h"
#include "gateserver.h"
#include "qxnetengine/netengine/netengine.h"
#include "support/pump.h"

#include <gtest/gtest.h>

#include <cstring>

inline const unsigned char kBlock[16] = {0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87,
                                         0x98, 0xA9, 0xBA, 0xCB, 0xDC, 0xED, 0xFE, 0x0F};
inline const unsigned char kParam = 0x5C;

// A game server for the gate: a dispatch server that points at it, and the
// gate's listener on the test's own loop.
class Gate : public CEngineFixture {
protected:
    void SetUp() override
    {
        CEngineFixture::SetUp();
        ASSERT_TRUE(m_Gate.Listen(0));
        m_Disp.Script({{TDatagram{GateAddrReply("127.0.0.1", m_Gate.Port())}},
                       {TDatagram{GateAddrReply("127.0.0.1", m_Gate.Port())}}});
        WriteIni(IniFor(m_Disp.Port(), -1));
    }
    void TearDown() override
    {
        CEngineFixture::TearDown();
        m_Gate.Close();
    }

    // Waits for the next connection's handshake request; returns it unscrambled.
    std::string NextRequest()
    {
        size_t index = m_nConn++;
        EXPECT_TRUE(PumpUntil([&] {
            return m_Gate.m_Accepted.size() > index &&
                   m_Gate.m_Accepted[index]->m_strRecv.size() >= 40;
        }));
        if (m_Gate.m_Accepted.size() <= index)
            return std::string();
        std::string payload;
        EXPECT_TRUE(TakeGateFrame(m_Gate.m_Accepted[index]->m_strRecv, &payload));
        return Scrambled(payload);
    }
    CTestConn& Conn() { return *m_Gate.m_Accepted.at(m_nConn - 1); }
    void Reply(const std::string& extra, uint32_t kind = 1, uint32_t gateId = 77,
               size_t bodyLen = 554)
    {
        std::string frame =
            GateFrame(Scrambled(ReplyMessage(kind, gateId, kBlock, kParam, bodyLen)));
        frame += extra;
        Conn().Send(frame.data(), static_cast<unsigned>(frame.size()));
    }
    // Logs in over a fresh discovery; the server keeps the key for later.
    void LogIn(uint32_t gateId = 77)
    {
        ASSERT_EQ(1, m_pEngine->Connect(0));
        std::string req = NextRequest();
        ASSERT_EQ(36u, req.size());
        memcpy(m_ClientHalf, req.data() + 20, 16);
        unsigned char serverHalf[16];
        for (int i = 0; i < 16; ++i) serverHalf[i] = kBlock[i] ^ kParam;
        m_Crypto.SetKey(m_ClientHalf, serverHalf);
        Reply("", 1, gateId);
        ASSERT_TRUE(PumpUntil([&] { return m_Handler.Has("Connected"); }));
    }

    CFakeDispServer m_Disp;
    CTestListener m_Gate;
    size_t m_nConn = 0;
    unsigned char m_ClientHalf[16] = {};
    CGateCrypto m_Crypto;
};
