#include "qxnetengine/fakesender/fakesender.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

namespace {

// Keeps whole packages: the dispatcher is given what the sender built.
class CPkgKeepingDisp : public CMsgDisp {
public:
    bool QXNET_CALL DispatchPkg(const char* data, unsigned int size) override
    {
        m_Pkgs.emplace_back(data, size);
        return CMsgDisp::DispatchPkg(data, size);
    }
    std::vector<std::string> m_Pkgs;
};

TEST(FakeSender, PackagesEachBodyIntoTheDispatcher)
{
    CPkgKeepingDisp disp;
    CRecordingHandler handler(7);
    ASSERT_TRUE(disp.RegisterHandler(&handler));
    CFakeSender sender;
    sender.SetMsgDisp(&disp);

    struct Case {
        size_t bodySize;
        bool inlineAfter;
    } cases[] = {{10, true}, {1020, true}, {1021, false}, {5, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bodySize);
        std::string body = MakeBody(7, 1, std::string(c.bodySize - 4, 'p'));
        body.back() = static_cast<char>(c.bodySize);
        EXPECT_TRUE(sender.Send(body.data(), static_cast<unsigned int>(body.size())));
        ASSERT_FALSE(disp.m_Pkgs.empty());
        EXPECT_EQ(MakePkg(body), disp.m_Pkgs.back());
        EXPECT_EQ(body, handler.m_Bodies.back());
        EXPECT_EQ(c.inlineAfter, sender.GetPkgBuffer().IsInline());
    }
    EXPECT_EQ(1025u, sender.GetPkgBuffer().GetCapacity());
}

TEST(FakeSender, TrueWhateverBecomesOfTheMessage)
{
    CFakeSender sender;
    EXPECT_TRUE(sender.Send("\x07\x00\x01\x00", 4));  // no dispatcher yet

    CMsgDisp disp;
    sender.SetMsgDisp(&disp);
    EXPECT_TRUE(sender.Send("\x07\x00\x01\x00", 4));
    EXPECT_EQ(CMsgDisp::kNoHandler, disp.GetErrorCode());

    CRecordingHandler refusing(7, false);
    ASSERT_TRUE(disp.RegisterHandler(&refusing));
    EXPECT_TRUE(sender.Send("\x07\x00\x01\x00", 4));
    EXPECT_EQ(CMsgDisp::kRejected, disp.GetErrorCode());
    EXPECT_EQ(1u, refusing.m_Bodies.size());
}

// Answers every message through its own sender, then checks what it was given.
class CAnsweringHandler : public CRecordingHandler {
public:
    CAnsweringHandler(unsigned short moduleId, std::string answer, size_t answers)
        : CRecordingHandler(moduleId), m_strAnswer(std::move(answer)), m_nAnswers(answers)
    {
    }
    bool QXNET_CALL OnMsg(const char* body, unsigned int len) override
    {
        std::string before(body, len);
        if (m_nAnswers > 0) {
            --m_nAnswers;
            m_pSender->Send(m_strAnswer.data(), static_cast<unsigned int>(m_strAnswer.size()));
        }
        m_nAnsweredSeen.push_back(m_pPeer ? m_pPeer->m_Bodies.size() : 0);
        // The body must be intact after the answer went out.
        m_bIntact = m_bIntact && before == std::string(body, len);
        return CRecordingHandler::OnMsg(body, len);
    }
    std::string m_strAnswer;
    size_t m_nAnswers;
    CRecordingHandler* m_pPeer = nullptr;
    std::vector<size_t> m_nAnsweredSeen;
    bool m_bIntact = true;
};

TEST(FakeSender, AnswerThroughASecondSenderArrivesBeforeSendReturns)
{
    CMsgDisp requests, answers;
    CAnsweringHandler server(7, MakeBody(8, 2, "ok"), 1);
    CRecordingHandler client(8);
    server.m_pPeer = &client;
    ASSERT_TRUE(requests.RegisterHandler(&server));
    ASSERT_TRUE(answers.RegisterHandler(&client));
    CFakeSender toServer, toClient;
    toServer.SetMsgDisp(&requests);
    toClient.SetMsgDisp(&answers);
    server.SetSender(&toClient);

    std::string request = MakeBody(7, 1, "ask");
    EXPECT_TRUE(toServer.Send(request.data(), static_cast<unsigned int>(request.size())));
    ASSERT_EQ(1u, server.m_nAnsweredSeen.size());
    EXPECT_EQ(1u, server.m_nAnsweredSeen[0]);  // already handled inside OnMsg
    EXPECT_EQ(std::vector<std::string>{MakeBody(8, 2, "ok")}, client.m_Bodies);
}

TEST(FakeSender, SendingBackThroughTheSameSenderKeepsTheFirstPackage)
{
    // The answer goes to the same handler while it still reads the first
    // body: a smaller one would overwrite it, a larger one free it.
    struct Case {
        size_t firstSize;
        size_t answerSize;
    } cases[] = {{2000, 10}, {2000, 3000}, {10, 3000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.firstSize << " then " << c.answerSize);
        CMsgDisp disp;
        CAnsweringHandler echo(7, MakeBody(7, 2, std::string(c.answerSize - 4, 'e')), 1);
        ASSERT_TRUE(disp.RegisterHandler(&echo));
        CFakeSender sender;
        sender.SetMsgDisp(&disp);
        echo.SetSender(&sender);

        std::string body = MakeBody(7, 1, std::string(c.firstSize - 4, 'f'));
        EXPECT_TRUE(sender.Send(body.data(), static_cast<unsigned int>(body.size())));
        EXPECT_TRUE(echo.m_bIntact);
        ASSERT_EQ(2u, echo.m_Bodies.size());
        EXPECT_EQ(echo.m_strAnswer, echo.m_Bodies[0]);  // the nested one finished first
        EXPECT_EQ(body, echo.m_Bodies[1]);
    }
}

}  // namespace
