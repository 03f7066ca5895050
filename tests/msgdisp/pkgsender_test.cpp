#include "common/msgdisp/pkgsender.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

namespace {

class CFilter : public IMsgSender {
public:
    explicit CFilter(bool take) : m_bTake(take) {}
    bool QXNET_CALL Send(const char* data, unsigned int len) override
    {
        m_Seen.emplace_back(data, len);
        return m_bTake;
    }
    bool m_bTake;
    std::vector<std::string> m_Seen;
};

TEST(PkgSender, PrefixesTheBody)
{
    CPkgSender sender;
    CRecordingSocket sock;
    EXPECT_FALSE(sender.Send("\x2C\x01\x05\x00", 4));  // no socket yet
    sender.SetSocket(&sock);
    EXPECT_TRUE(sender.Send("\x2C\x01\x05\x00", 4));
    ASSERT_EQ(1u, sock.m_Sent.size());
    EXPECT_EQ(std::string("\x04\x00\x00\x00\x2C\x01\x05\x00", 8), sock.m_Sent[0]);
}

TEST(PkgSender, FilterComesFirst)
{
    struct Case {
        bool take;
        bool withSocket;
        bool result;
        size_t reachedSocket;
    } cases[] = {
        {true, false, true, 0},
        {true, true, true, 0},
        {false, true, true, 1},
        {false, false, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "take=" << c.take << " socket=" << c.withSocket);
        CPkgSender sender;
        CRecordingSocket sock;
        CFilter filter(c.take);
        EXPECT_EQ(nullptr, sender.SetFilter(&filter));
        if (c.withSocket)
            sender.SetSocket(&sock);
        EXPECT_EQ(c.result, sender.Send("abcd", 4));
        EXPECT_EQ(1u, filter.m_Seen.size());
        EXPECT_EQ(c.reachedSocket, sock.m_Sent.size());
        EXPECT_EQ(&filter, sender.SetFilter(nullptr));
    }
}

TEST(PkgSender, GrowsToExactlyTheLargestPackage)
{
    CPkgSender sender;
    CRecordingSocket sock;
    sender.SetSocket(&sock);
    EXPECT_EQ(4096u, sender.GetCapacity());
    std::string fits(4092, 'a');
    EXPECT_TRUE(sender.Send(fits.data(), static_cast<unsigned>(fits.size())));
    EXPECT_EQ(4096u, sender.GetCapacity());

    std::string big(5000, 'b');
    EXPECT_TRUE(sender.Send(big.data(), static_cast<unsigned>(big.size())));
    EXPECT_EQ(5004u, sender.GetCapacity());
    ASSERT_EQ(5004u, sock.m_Sent[1].size());
    EXPECT_EQ(MakePkg(big), sock.m_Sent[1]);

    EXPECT_TRUE(sender.Send("xy", 2));
    EXPECT_EQ(5004u, sender.GetCapacity());  // never shrinks
    EXPECT_EQ(MakePkg("xy"), sock.m_Sent[2]);
}

// A filter whose handler answers through the same sender, as the engine's
// in-process services do: the nested Send runs inside the outer one.
class CEchoFilter : public IMsgSender {
public:
    CPkgSender* m_pSender = nullptr;
    bool QXNET_CALL Send(const char* data, unsigned int len) override
    {
        if (len == 1 && data[0] == 'q') {
            m_pSender->Send("answer", 6);
            return true;
        }
        return false;
    }
};

TEST(PkgSender, FilterMaySendBackThroughTheSameSender)
{
    CPkgSender sender;
    CRecordingSocket sock;
    CEchoFilter filter;
    filter.m_pSender = &sender;
    sender.SetSocket(&sock);
    sender.SetFilter(&filter);
    EXPECT_TRUE(sender.Send("q", 1));
    ASSERT_EQ(1u, sock.m_Sent.size());
    EXPECT_EQ(MakePkg("answer"), sock.m_Sent[0]);
}

}  // namespace
