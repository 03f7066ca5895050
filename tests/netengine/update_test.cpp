// A resource update end to end: the game's module-300 request, the gate's
// module-302 answer, the resource-information server's files (module 301).
#include "common/bytes/byteorder.h"
#include "common/protocols/resinfoinner.h"
#include "common/serialization/bufferwriter.h"
#include "common/texts/texts.h"
#include "gatefixture.h"
#include "platform/files.h"
#include "qxnetengine/archive/tempdir.h"
#include "qxnetengine/archive/ziparchive.h"
#include "qxnetengine/log/logfile.h"
#include "qxnetengine/resinfovermgr/resinfoinnerconn.h"
#include "qxnetengine/resinfovermgr/resinfovermgr.h"
#include "qxnetengine/resinfovermgr/updatesession.h"
#include "support/fakes.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

namespace {

using ResInfoInner::TVersionInfo;

template <typename... T>
std::string Body(uint16_t module, uint16_t msg, const T&... fields)
{
    std::string payload;
    CBufferWriter writer(&payload);
    (void)std::initializer_list<int>{((writer << fields), 0)...};
    return MakeBody(module, msg, payload);
}

std::string InnerFrame(const std::string& body)
{
    std::string f(8, '\0');
    WriteU32LE(&f[0], static_cast<uint32_t>(body.size() + 8));
    return f + MakePkg(body);
}

// A package: a ZIP archive whose 1.xml (deflated) holds the given text.
std::string MakePackage(const std::string& xml)
{
    CTempDir dir;
    std::string src = std::string(dir.GetPath()) + "1.xml",
                zip = std::string(dir.GetPath()) + "pkg.zip";
    std::ofstream(src, std::ios::binary) << xml;
    CZipArchive archive;
    EXPECT_TRUE(archive.Open(zip.c_str(), 2));
    EXPECT_TRUE(archive.AddFile("1.xml", src.c_str()));
    EXPECT_TRUE(archive.Close());
    std::ifstream in(zip, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Records(int from, int n)
{
    std::string xml = "<root>";
    for (int i = from; i < from + n; ++i)
        xml += "<Record kind=\"x\"><ResID>" + std::to_string(i) + "</ResID><PackageID>p" +
               std::to_string(i) + "</PackageID><Extra>e</Extra></Record>";
    return xml + "</root>";
}

// A second engine, never logged in, with a module-300 handler of its own.
struct COtherEngine {
    COtherEngine()
    {
        engine->Initialize(&handler);
        ready = engine->GetMsgDisp()->RegisterHandler(&game);
    }
    ~COtherEngine() { Release(); }
    void Release()
    {
        if (engine)
            engine->Release();
        engine = nullptr;
    }
    CRecordingEngineHandler handler;
    CRecordingHandler game{300};
    CNetEngine* engine = new CNetEngine;
    bool ready = false;
};

class Update : public Gate {
protected:
    void SetUp() override
    {
        Gate::SetUp();
        ASSERT_TRUE(m_Inner.Listen(0));
        ASSERT_TRUE(m_pEngine->GetMsgDisp()->RegisterHandler(&m_Game));
        LogIn();
    }
    void TearDown() override
    {
        m_Inner.Close();
        Gate::TearDown();
    }
    // The game asks for version; the gate names the inner server at port.
    void Ask(uint32_t version, unsigned short port)
    {
        std::string get = Body(300, 1, version);
        ASSERT_TRUE(m_pEngine->GetSender()->Send(get.data(), static_cast<unsigned>(get.size())));
        std::string payload;
        ASSERT_TRUE(PumpUntil([&] { return TakeGateFrame(Conn().m_strRecv, &payload); }));
        ASSERT_EQ(MakePkg(MakeBody(302, 1)), m_Crypto.Decrypt(payload));
        uint32_t addr = qxplat::InetAddr("127.0.0.1");
        std::string answer = Body(302, 1, addr, port, TVecChar{'t', 'k'});
        std::string frame = m_Crypto.EncryptedFrame(MakePkg(answer));
        Conn().Send(frame.data(), static_cast<unsigned>(frame.size()));
    }
    // Asks for version; the server lists the one package version.sub, and
    // this returns once the engine has asked for that file.
    void AskForOneFile(uint32_t version, int32_t sub)
    {
        ASSERT_NO_FATAL_FAILURE(Ask(version, m_Inner.Port()));
        uint32_t token = 0;
        std::string body;
        ASSERT_TRUE(NextInner(&token, &body));  // GetVersionList
        std::vector<TVersionInfo> one(1);
        one[0].Version = version;
        one[0].SubNo = sub;
        InnerSends(InnerFrame(Body(301, 1, one)));
        ASSERT_TRUE(NextInner(&token, &body));  // GetFile
    }
    // The next request frame the inner server received: token and body.
    bool NextInner(uint32_t* token, std::string* body, int ms = 5000)
    {
        bool ok = PumpUntil(
            [&] {
                if (m_Inner.m_Accepted.empty())
                    return false;
                std::string& s = m_Inner.m_Accepted.back()->m_strRecv;
                return s.size() >= 12 && s.size() >= 4 + ReadU32LE(s.data());
            },
            ms);
        if (!ok)
            return false;
        std::string& s = m_Inner.m_Accepted.back()->m_strRecv;
        uint32_t total = ReadU32LE(s.data());
        *token = ReadU32LE(s.data() + 4);
        *body = s.substr(12, total - 8);
        s.erase(0, total + 4);
        return true;
    }
    void InnerSends(const std::string& bytes)
    {
        m_Inner.m_Accepted.back()->Send(bytes.data(), static_cast<unsigned>(bytes.size()));
    }
    // Serves a file in pieces of at most 255 bytes per block.
    void ServeFile(const std::string& data)
    {
        std::string frames = InnerFrame(
            Body(301, 2, static_cast<uint32_t>(data.size()), static_cast<uint32_t>(data.size())));
        for (size_t at = 0; at == 0 || at < data.size(); at += 1000) {
            TBigString pieces;
            CoverString2TBigString(data.substr(at, 1000), pieces);
            frames += InnerFrame(Body(301, 3, pieces));
            if (data.empty())
                break;
        }
        InnerSends(frames);
    }
    std::vector<std::string> GameAnswers() const { return m_Game.m_Bodies; }
    // As Ask, with the game's answers going to game; returns once the inner
    // server has the version-list request.
    void AskWith(IMsgHandler& game, uint32_t version)
    {
        m_pEngine->GetMsgDisp()->UnregisterHandler(&m_Game);
        ASSERT_TRUE(m_pEngine->GetMsgDisp()->RegisterHandler(&game));
        Ask(version, m_Inner.Port());
        uint32_t token = 0;
        std::string body;
        ASSERT_TRUE(NextInner(&token, &body));
    }

    CTestListener m_Inner;
    CRecordingHandler m_Game{300};
};

TEST_F(Update, AWholeUpdate)
{
    std::map<int, std::string> packages = {{1, MakePackage(Records(1, 2))},
                                           {2, MakePackage(Records(3, 3))}};
    Ask(7, m_Inner.Port());
    uint32_t token = 0, first = 0;
    std::string body;
    ASSERT_TRUE(NextInner(&first, &body));
    EXPECT_EQ(Body(301, 1, uint32_t{7}), body);  // GetVersionList(7)
    std::vector<TVersionInfo> list(2);
    list[0].Version = list[1].Version = 7;
    list[0].SubNo = 1;
    list[1].SubNo = 2;
    InnerSends(InnerFrame(Body(301, 1, list)));
    for (int sub = 1; sub <= 2; ++sub) {
        ASSERT_TRUE(NextInner(&token, &body));
        EXPECT_EQ(first + static_cast<uint32_t>(sub), token);  // numbered one by one
        EXPECT_EQ(Body(301, 2, list[sub - 1], uint32_t{0}, uint32_t{0xFFFFFFFF}), body);
        EXPECT_TRUE(GameAnswers().empty());
        ServeFile(packages[sub]);
    }
    ASSERT_TRUE(PumpUntil([&] { return GameAnswers().size() == 6; }));
    std::vector<std::string> answers = GameAnswers();
    EXPECT_EQ(Body(300, 1, int32_t{0}, uint32_t{7}, uint32_t{5}), answers[0]);
    for (int i = 1; i <= 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(static_cast<uint32_t>(i), ReadU32LE(answers[i].data() + 4));  // ResID
        EXPECT_NE(std::string::npos, answers[i].find("<Extra>e</Extra>"));
    }
    const std::string dir = CResInfoVerMgr::Instance().GetDir();
    EXPECT_EQ(qxplat::LibraryDir() + "ResInfo" + qxplat::kPathSep, dir);
    std::ifstream second(dir + "7.2", std::ios::binary);
    EXPECT_EQ(packages[2], std::string(std::istreambuf_iterator<char>(second),
                                       std::istreambuf_iterator<char>()));
    EXPECT_FALSE(qxplat::FileExists(dir + "7.2.part"));
}

// Each package's index is read once the package is complete; one the list
// names twice is read as it is in the end, the second download's.
TEST_F(Update, APackageListedTwiceGivesTheRecordsOfItsLastDownload)
{
    Ask(8, m_Inner.Port());
    uint32_t token = 0;
    std::string body;
    ASSERT_TRUE(NextInner(&token, &body));
    std::vector<TVersionInfo> list(3);
    list[0].Version = list[1].Version = list[2].Version = 8;
    list[1].SubNo = 1;
    InnerSends(InnerFrame(Body(301, 1, list)));  // 8.0, 8.1, 8.0
    const std::string contents[] = {MakePackage(Records(1, 1)), MakePackage(Records(10, 1)),
                                    MakePackage(Records(20, 2))};
    for (const std::string& pkg : contents) {
        ASSERT_TRUE(NextInner(&token, &body));
        ServeFile(pkg);
    }
    ASSERT_TRUE(PumpUntil([&] { return GameAnswers().size() == 6; }));
    std::vector<uint32_t> ids;
    for (size_t i = 1; i < GameAnswers().size(); ++i)
        ids.push_back(ReadU32LE(GameAnswers()[i].data() + 4));  // ResID
    EXPECT_EQ((std::vector<uint32_t>{20, 21, 10, 20, 21}), ids);
}

TEST_F(Update, OnlyAFailedPieceIsReportedAndInTheNetLogNotOnStandardError)
{
    CLogFile::SetClock(FixedClock);
    std::remove((qxplat::ExeDir() + "NetLog20310102.log").c_str());
    const std::string where = "Exception at: ResInfoInner::CResInfoInner::_DoRecv_RetFileBuffer";
    uint32_t version = 40;
    struct Case {
        const char* name;
        bool tooMuch;  // a piece past the file's size, which ends the download
        int reports;
    } cases[] = {{"a whole download", false, 0}, {"a piece past the end", true, 1}};
    testing::internal::CaptureStderr();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_Game.m_Bodies.clear();
        ASSERT_NO_FATAL_FAILURE(AskForOneFile(version++, 1));
        if (c.tooMuch)
            InnerSends(InnerFrame(Body(301, 2, uint32_t{4}, uint32_t{4})) +
                       InnerFrame(Body(301, 3, TBigString{TVecChar{'1', '2', '3', '4', '5'}})));
        else
            ServeFile(MakePackage(Records(1, 1)));
        ASSERT_TRUE(PumpUntil([&] { return !GameAnswers().empty(); }));
        EXPECT_EQ(c.tooMuch ? -3 : 0, static_cast<int32_t>(ReadU32LE(GameAnswers()[0].data() + 4)));
        EXPECT_EQ(c.reports, CountInLog(where));
    }
    const std::string err = testing::internal::GetCapturedStderr();
    CLogFile::SetClock(nullptr);
    EXPECT_EQ(std::string::npos, err.find("Exception at")) << err;
}

TEST_F(Update, AFolderMarkedReadOnlyKeepsThePreviousVersion)
{
    const std::string dir = qxplat::LibraryDir() + "ResInfo";
    for (uint32_t version : {44u, 45u}) {
        SCOPED_TRACE(version);
        if (version == 45) {
            std::filesystem::permissions(dir, std::filesystem::perms::owner_write |
                                                  std::filesystem::perms::group_write |
                                                  std::filesystem::perms::others_write,
                                         std::filesystem::perm_options::remove);
#ifdef _WIN32
            // Windows keeps the read-only attribute on a folder; Wine drops it.
            if (qxplat::AccessReadWrite(dir))
                GTEST_SKIP() << "this system keeps no read-only mark on a folder";
#endif
        }
        m_Game.m_Bodies.clear();
        Ask(version, m_Inner.Port());
        uint32_t token = 0;
        std::string body;
        const bool asked = NextInner(&token, &body);
        qxplat::ClearReadOnly(dir);
        ASSERT_TRUE(asked);
        EXPECT_EQ(Body(301, 1, uint32_t{44}), body);  // GetVersionList
        m_Inner.m_Accepted.back()->Close();
        ASSERT_TRUE(PumpUntil([&] { return GameAnswers().size() == 1; }));
    }
}

TEST_F(Update, AnIndexTooLargeToTakeIsLoggedAsSuch)
{
    CLogFile::SetClock(FixedClock);
    std::remove((qxplat::ExeDir() + "NetLog20310102.log").c_str());
    m_Inner.m_nSendCap = 1u << 20;  // the package leaves in one go
    ASSERT_NO_FATAL_FAILURE(AskForOneFile(46, 1));
    // Deflated, 16 MiB and one byte of blanks is a small package.
    ServeFile(MakePackage(Records(1, 1) + std::string(CZipArchive::kMaxItemSize + 1, ' ')));
    ASSERT_TRUE(PumpUntil([&] { return GameAnswers().size() == 1; }));
    CLogFile::SetClock(nullptr);
    EXPECT_EQ(Body(300, 1, int32_t{-2}, uint32_t{0}, uint32_t{0}), GameAnswers()[0]);
    EXPECT_EQ(1, CountInLog(TXT_READ_INDEX_FAILED2));
}

TEST_F(Update, APackageTheGameHoldsOpenIsStillUpdated)
{
    FILE* held = nullptr;
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        m_Game.m_Bodies.clear();
        ASSERT_NO_FATAL_FAILURE(AskForOneFile(48, 1));
        const std::string pkg = MakePackage(Records(round, 1));
        ServeFile(pkg);
        ASSERT_TRUE(PumpUntil([&] { return !GameAnswers().empty(); }));
        EXPECT_EQ(0, static_cast<int32_t>(ReadU32LE(GameAnswers()[0].data() + 4)));
        const std::string path = CResInfoVerMgr::Instance().GetDir() + "48.1";
        std::ifstream in(path, std::ios::binary);
        EXPECT_EQ(pkg, std::string(std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>()));
        EXPECT_FALSE(qxplat::FileExists(path + ".part"));
        // As a game reads its packages: shared for reading and writing, not
        // for deletion, so on Windows the file cannot be renamed over.
        if (!held)
            held = std::fopen(path.c_str(), "rb");
        ASSERT_NE(nullptr, held);
    }
    std::fclose(held);
}

TEST_F(Update, FailuresAnswerWithTheirCodes)
{
    // -3: the server closes in the middle of a file; nothing has the
    // package's name afterwards.
    std::string pkg = MakePackage(Records(1, 1));
    Ask(8, m_Inner.Port());
    uint32_t token = 0;
    std::string body;
    ASSERT_TRUE(NextInner(&token, &body));
    std::vector<TVersionInfo> list(1);
    list[0].Version = 8;
    list[0].SubNo = 5;
    InnerSends(InnerFrame(Body(301, 1, list)));
    ASSERT_TRUE(NextInner(&token, &body));
    InnerSends(InnerFrame(
        Body(301, 2, static_cast<uint32_t>(pkg.size()), static_cast<uint32_t>(pkg.size()))));
    TBigString half;
    CoverString2TBigString(pkg.substr(0, pkg.size() / 2), half);
    InnerSends(InnerFrame(Body(301, 3, half)));
    PumpFor(50);
    m_Inner.m_Accepted.back()->Close();
    ASSERT_TRUE(PumpUntil([&] { return GameAnswers().size() == 1; }));
    EXPECT_EQ(Body(300, 1, int32_t{-3}, uint32_t{0}, uint32_t{0}), GameAnswers()[0]);
    const std::string dir = CResInfoVerMgr::Instance().GetDir();
    EXPECT_FALSE(qxplat::FileExists(dir + "8.5"));
    EXPECT_FALSE(qxplat::FileExists(dir + "8.5.part"));

    // -2: a package without 1.xml (it lies in a folder).
    m_Game.m_Bodies.clear();
    Ask(9, m_Inner.Port());
    ASSERT_TRUE(NextInner(&token, &body));
    list[0].Version = 9;
    InnerSends(InnerFrame(Body(301, 1, list)));
    ASSERT_TRUE(NextInner(&token, &body));
    CTempDir tmp;
    std::ofstream(std::string(tmp.GetPath()) + "1.xml") << Records(1, 1);
    CZipArchive archive;
    std::string zip = std::string(tmp.GetPath()) + "p.zip";
    ASSERT_TRUE(archive.Open(zip.c_str(), 2));
    ASSERT_TRUE(archive.AddFile("data/1.xml", (std::string(tmp.GetPath()) + "1.xml").c_str()));
    ASSERT_TRUE(archive.Close());
    std::ifstream in(zip, std::ios::binary);
    ServeFile(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    ASSERT_TRUE(PumpUntil([&] { return GameAnswers().size() == 1; }));
    EXPECT_EQ(Body(300, 1, int32_t{-2}, uint32_t{0}, uint32_t{0}), GameAnswers()[0]);

    // -1: nothing listens where the gate points, three attempts; the next
    // request is accepted again.
    m_Game.m_Bodies.clear();
    CTestListener probe;
    ASSERT_TRUE(probe.Listen(0));
    unsigned short closed = probe.Port();
    probe.Close();
    Ask(10, closed);
    ASSERT_TRUE(PumpUntil([&] { return GameAnswers().size() == 1; }));
    EXPECT_EQ(Body(300, 1, int32_t{-1}, uint32_t{0}, uint32_t{0}), GameAnswers()[0]);
    Ask(11, m_Inner.Port());
    ASSERT_TRUE(NextInner(&token, &body));
    EXPECT_EQ(Body(301, 1, uint32_t{11}), body);
}

TEST_F(Update, DownloadsThatBreakOffAnswerMinusThree)
{
    std::string pkg = MakePackage(Records(1, 1));
    std::vector<TVersionInfo> one(1);
    one[0].Version = 20;
    one[0].SubNo = 1;
    struct Case {
        const char* name;
        bool listFirst;  // the list is sent before the bad frame
        std::string bad;
    } cases[] = {
        {"empty version list", false, InnerFrame(Body(301, 1, std::vector<TVersionInfo>()))},
        {"more data than the file's size", true,
         InnerFrame(Body(301, 2, uint32_t{4}, uint32_t{4})) +
             InnerFrame(Body(301, 3, TBigString{TVecChar{'1', '2', '3', '4', '5'}}))},
        {"a frame of total 2", false, std::string("\x02\x00\x00\x00\x00\x00", 6)},
        {"a module-300 body", false, InnerFrame(Body(300, 1, uint32_t{1}))},
    };
    uint32_t version = 20;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_Game.m_Bodies.clear();
        Ask(version++, m_Inner.Port());
        uint32_t token = 0;
        std::string body;
        ASSERT_TRUE(NextInner(&token, &body));
        if (c.listFirst) {
            InnerSends(InnerFrame(Body(301, 1, one)));
            ASSERT_TRUE(NextInner(&token, &body));
        }
        InnerSends(c.bad);
        ASSERT_TRUE(PumpUntil([&] { return GameAnswers().size() == 1; }));
        EXPECT_EQ(Body(300, 1, int32_t{-3}, uint32_t{0}, uint32_t{0}), GameAnswers()[0]);
    }
}

TEST_F(Update, OneUpdateAtATime)
{
    Ask(30, m_Inner.Port());
    uint32_t token = 0;
    std::string body;
    ASSERT_TRUE(NextInner(&token, &body));
    // A second request while the first runs is not answered, nor passed on.
    std::string get = Body(300, 1, uint32_t{31});
    ASSERT_TRUE(m_pEngine->GetSender()->Send(get.data(), static_cast<unsigned>(get.size())));
    PumpFor(100);
    EXPECT_TRUE(Conn().m_strRecv.empty());
    EXPECT_TRUE(GameAnswers().empty());

    // An address that cannot even be connected to is a failed connect.
    m_Inner.m_Accepted.back()->Close();
    ASSERT_TRUE(PumpUntil([&] { return GameAnswers().size() == 1; }));
    m_Game.m_Bodies.clear();
    std::string getAgain = Body(300, 1, uint32_t{32});
    ASSERT_TRUE(
        m_pEngine->GetSender()->Send(getAgain.data(), static_cast<unsigned>(getAgain.size())));
    std::string payload;
    ASSERT_TRUE(PumpUntil([&] { return TakeGateFrame(Conn().m_strRecv, &payload); }));
    std::string answer = Body(302, 1, uint32_t{0xFFFFFFFF}, uint16_t{m_Inner.Port()}, TVecChar{});
    std::string frame = m_Crypto.EncryptedFrame(MakePkg(answer));
    Conn().Send(frame.data(), static_cast<unsigned>(frame.size()));
    ASSERT_TRUE(PumpUntil([&] { return GameAnswers().size() == 1; }));
    EXPECT_EQ(Body(300, 1, int32_t{-1}, uint32_t{0}, uint32_t{0}), GameAnswers()[0]);
}

// Asks again from inside the answer to the previous request, once its first
// body has come, through a sender kept from before.
class CAskingAgainHandler : public CRecordingHandler {
public:
    CAskingAgainHandler() : CRecordingHandler(300) {}
    bool QXNET_CALL OnMsg(const char* body, unsigned int len) override
    {
        CRecordingHandler::OnMsg(body, len);
        if (m_pSender && m_Bodies.size() == 1) {
            std::string get = Body(300, 1, uint32_t{41});
            m_bSent = m_pSender->Send(get.data(), static_cast<unsigned>(get.size()));
        }
        return true;
    }
    IMsgSender* m_pSender = nullptr;
    bool m_bSent = false;
};

TEST_F(Update, ARequestFromInsideTheAnswerIsTaken)
{
    CAskingAgainHandler game;
    ASSERT_NO_FATAL_FAILURE(AskWith(game, 40));
    game.m_pSender = m_pEngine->GetSender();
    InnerSends(InnerFrame(Body(301, 1, std::vector<TVersionInfo>())));  // ends with -3
    ASSERT_TRUE(PumpUntil([&] { return game.m_bSent; }));
    // The new request went on to the gate.
    std::string payload;
    ASSERT_TRUE(PumpUntil([&] { return TakeGateFrame(Conn().m_strRecv, &payload); }));
    EXPECT_EQ(MakePkg(MakeBody(302, 1)), m_Crypto.Decrypt(payload));
}

TEST_F(Update, SlowAServerThatStopsAnsweringEndsTheUpdate)
{
    Ask(50, m_Inner.Port());
    uint32_t token = 0;
    std::string body;
    ASSERT_TRUE(NextInner(&token, &body));  // GetVersionList, never answered
    ASSERT_TRUE(PumpUntil([&] { return GameAnswers().size() == 1; },
                          static_cast<int>(CResInfoInnerConn::kReplyTimeoutMs) + 5000));
    EXPECT_EQ(Body(300, 1, int32_t{-3}, uint32_t{0}, uint32_t{0}), GameAnswers()[0]);
    ASSERT_TRUE(PumpUntil([&] { return m_Inner.m_Accepted.back()->m_nCloses == 1; }));
}

class CReleasingHandler : public CRecordingHandler {
public:
    CReleasingHandler() : CRecordingHandler(300) {}
    bool QXNET_CALL OnMsg(const char* body, unsigned int len) override
    {
        CRecordingHandler::OnMsg(body, len);
        if (m_pEngine) {
            INetEngine* e = m_pEngine;
            m_pEngine = nullptr;
            e->Release();  // the game lets go of the engine inside its answer
        }
        return true;
    }
    INetEngine* m_pEngine = nullptr;
};

TEST_F(Update, ReleasedInsideTheAnswerOfTheInnerConnection)
{
    CReleasingHandler game;
    ASSERT_NO_FATAL_FAILURE(AskWith(game, 40));
    game.m_pEngine = m_pEngine;
    m_Handler.m_pEngine = nullptr;  // TearDown must not release again
    InnerSends(InnerFrame(Body(301, 1, std::vector<TVersionInfo>())));  // ends with -3
    ASSERT_TRUE(PumpUntil([&] { return !game.m_Bodies.empty(); }));
    PumpFor(100);
}

// A game that pumps messages inside its answer (a dialog, say) while the
// server goes on sending: the connection is still cutting the frame that
// finished the update, so the new bytes wait behind it and are never
// dispatched; the answer comes once and the connection closes.
class CPumpingHandler : public CRecordingHandler {
public:
    CPumpingHandler() : CRecordingHandler(300) {}
    bool QXNET_CALL OnMsg(const char* body, unsigned int len) override
    {
        CRecordingHandler::OnMsg(body, len);
        if (m_OnFirst) {
            std::function<void()> once;
            once.swap(m_OnFirst);
            once();
        }
        return true;
    }
    std::function<void()> m_OnFirst;
};

TEST_F(Update, AGameThatPumpsInsideItsAnswer)
{
    CPumpingHandler game;
    ASSERT_NO_FATAL_FAILURE(AskWith(game, 60));
    uint32_t token = 0;
    std::string body;
    std::vector<TVersionInfo> list(1);
    list[0].Version = 61;
    InnerSends(InnerFrame(Body(301, 1, list)));
    ASSERT_TRUE(NextInner(&token, &body));
    game.m_OnFirst = [&] {
        InnerSends(InnerFrame(Body(301, 2, uint32_t{1}, uint32_t{1})) +
                   InnerFrame(Body(301, 3, TBigString{{'x'}})));
        PumpFor(100);
    };
    ServeFile(MakePackage(Records(1, 1)));
    ASSERT_TRUE(PumpUntil([&] { return m_Inner.m_Accepted.back()->m_nCloses == 1; }));
    PumpFor(50);
    ASSERT_EQ(2u, game.m_Bodies.size());
    EXPECT_EQ(Body(300, 1, int32_t{0}, uint32_t{61}, uint32_t{1}), game.m_Bodies[0]);
    EXPECT_TRUE(qxplat::FileExists(CResInfoVerMgr::Instance().GetDir() + "61.0"));
}

TEST_F(Update, ARequestDuringAReconnectHandshakeIsAnswered)
{
    Conn().Close();  // the gate drops the established connection
    ASSERT_TRUE(PumpUntil([&] { return m_Handler.Has("GateClosed"); }));
    ASSERT_EQ(1, m_pEngine->Connect(1));
    NextRequest();  // TCP is up, handshake pending: GetSender is non-null
    IMsgSender* sender = m_pEngine->GetSender();
    ASSERT_NE(nullptr, sender);
    std::string get = Body(300, 1, uint32_t{5});
    ASSERT_TRUE(sender->Send(get.data(), static_cast<unsigned>(get.size())));
    PumpFor(100);
    std::string payload;
    bool toGate = TakeGateFrame(Conn().m_strRecv, &payload);
    EXPECT_FALSE(toGate);
    ASSERT_EQ(1u, GameAnswers().size());  // not logged in yet: no connection can be made
    EXPECT_EQ(Body(300, 1, int32_t{-1}, uint32_t{0}, uint32_t{0}), GameAnswers()[0]);
}
TEST_F(Update, AGateThatClosesBeforeNamingTheServerAnswersMinusOne)
{
    std::string get = Body(300, 1, uint32_t{60});
    ASSERT_TRUE(m_pEngine->GetSender()->Send(get.data(), static_cast<unsigned>(get.size())));
    std::string payload;
    ASSERT_TRUE(PumpUntil([&] { return TakeGateFrame(Conn().m_strRecv, &payload); }));
    Conn().Close();
    ASSERT_TRUE(PumpUntil([&] { return m_Handler.Has("GateClosed"); }));
    ASSERT_EQ(1u, GameAnswers().size());
    EXPECT_EQ(Body(300, 1, int32_t{-1}, uint32_t{0}, uint32_t{0}), GameAnswers()[0]);
}

TEST_F(Update, AnotherEnginesRequestWaitsForTheRunningUpdate)
{
    Ask(70, m_Inner.Port());
    uint32_t token = 0;
    std::string body;
    ASSERT_TRUE(NextInner(&token, &body));
    COtherEngine other;
    ASSERT_TRUE(other.ready);
    std::string get = Body(300, 1, uint32_t{71});
    ASSERT_TRUE(other.engine->GetPkgSender()->Send(get.data(), static_cast<unsigned>(get.size())));
    PumpFor(50);
    EXPECT_TRUE(other.game.m_Bodies.empty());  // ignored, as a second request of one engine is
    other.Release();
    // The running update still answers the engine that asked.
    m_Inner.m_Accepted.back()->Close();
    ASSERT_TRUE(PumpUntil([&] { return GameAnswers().size() == 1; }));
    EXPECT_EQ(Body(300, 1, int32_t{-3}, uint32_t{0}, uint32_t{0}), GameAnswers()[0]);
}

TEST_F(Update, AnAnswerAskedForInsideAnotherFollowsItWhole)
{
    CAskingAgainHandler game;
    ASSERT_NO_FATAL_FAILURE(AskWith(game, 80));
    game.m_pSender = m_pEngine->GetSender();
    // With the gate gone, the request from inside the answer is answered at once.
    Conn().Close();
    ASSERT_TRUE(PumpUntil([&] { return m_Handler.Has("GateClosed"); }));
    std::vector<TVersionInfo> list(1);
    list[0].Version = 80;
    InnerSends(InnerFrame(Body(301, 1, list)));
    uint32_t token = 0;
    std::string body;
    ASSERT_TRUE(NextInner(&token, &body));
    ServeFile(MakePackage(Records(1, 3)));
    ASSERT_TRUE(PumpUntil([&] { return game.m_Bodies.size() >= 5; }));
    PumpFor(50);
    ASSERT_EQ(5u, game.m_Bodies.size());
    EXPECT_EQ(Body(300, 1, int32_t{0}, uint32_t{80}, uint32_t{3}), game.m_Bodies[0]);
    for (size_t i = 1; i <= 3; ++i)
        EXPECT_EQ(MakeBody(300, 2, ""), game.m_Bodies[i].substr(0, 4)) << i;  // RetResInfo
    EXPECT_EQ(Body(300, 1, int32_t{-1}, uint32_t{0}, uint32_t{0}), game.m_Bodies[4]);
}

TEST_F(Update, AnAddressNobodyAskedForIsIgnored)
{
    CLogFile::SetClock(FixedClock);
    std::remove((qxplat::ExeDir() + "NetLog20310102.log").c_str());
    const std::string ignored = "An address nobody asked for is ignored.";
    const std::string answer = Body(302, 1, qxplat::InetAddr("127.0.0.1"),
                                    uint16_t{m_Inner.Port()}, TVecChar{});
    // No update asked for: nothing connects, nothing is written.
    std::string frame = m_Crypto.EncryptedFrame(MakePkg(answer));
    Conn().Send(frame.data(), static_cast<unsigned>(frame.size()));
    ASSERT_TRUE(PumpUntil([&] { return CountInLog(ignored) == 1; }));
    PumpFor(100);
    EXPECT_TRUE(m_Inner.m_Accepted.empty());

    // Another engine's update runs: an address its gate sends this engine
    // leaves it alone.
    ASSERT_NO_FATAL_FAILURE(AskForOneFile(90, 0));
    COtherEngine other;
    ASSERT_TRUE(other.ready);
    other.engine->GetResInfoDispDrv().OnMsg(answer.data(), static_cast<unsigned>(answer.size()));
    PumpFor(100);
    EXPECT_EQ(2, CountInLog(ignored));
    EXPECT_EQ(1u, m_Inner.m_Accepted.size());
    ServeFile(MakePackage(Records(1, 1)));
    ASSERT_TRUE(PumpUntil([&] { return !GameAnswers().empty(); }));
    EXPECT_EQ(Body(300, 1, int32_t{0}, uint32_t{90}, uint32_t{1}), GameAnswers()[0]);
    EXPECT_TRUE(other.game.m_Bodies.empty());
    CLogFile::SetClock(nullptr);
}

// Once an update's gate cannot answer, the update is over: -1, and another
// engine's request is taken (answered -1 there, since it is not logged in).
TEST_F(Update, AGateThatCannotNameTheServerEndsTheUpdate)
{
    struct Case {
        const char* name;
        bool close;            // the gate closes; else it answers this
        std::string payload;   // a module-302 body cut short
    } cases[] = {
        {"an answer cut short", false, MakeBody(302, 1, std::string(5, '\0'))},
        {"an unknown module-302 message", false, MakeBody(302, 9, "")},
        {"the gate closes", true, ""},
    };
    uint32_t version = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_Game.m_Bodies.clear();
        std::string get = Body(300, 1, version++);
        ASSERT_TRUE(m_pEngine->GetSender()->Send(get.data(), static_cast<unsigned>(get.size())));
        std::string payload;
        ASSERT_TRUE(PumpUntil([&] { return TakeGateFrame(Conn().m_strRecv, &payload); }));
        if (c.close) {
            Conn().Close();
        } else {
            std::string frame = m_Crypto.EncryptedFrame(MakePkg(c.payload));
            Conn().Send(frame.data(), static_cast<unsigned>(frame.size()));
        }
        ASSERT_TRUE(PumpUntil([&] { return GameAnswers().size() == 1; }));
        EXPECT_EQ(Body(300, 1, int32_t{-1}, uint32_t{0}, uint32_t{0}), GameAnswers()[0]);

        COtherEngine other;
        ASSERT_TRUE(other.ready);
        IMsgSender* sender = other.engine->GetPkgSender();
        ASSERT_TRUE(sender->Send(get.data(), static_cast<unsigned>(get.size())));
        PumpFor(50);
        ASSERT_EQ(1u, other.game.m_Bodies.size());
        EXPECT_EQ(Body(300, 1, int32_t{-1}, uint32_t{0}, uint32_t{0}), other.game.m_Bodies[0]);
    }
}

TEST_F(Update, SlowAGateThatNeverNamesTheServerEndsTheUpdate)
{
    std::string get = Body(300, 1, uint32_t{110});
    ASSERT_TRUE(m_pEngine->GetSender()->Send(get.data(), static_cast<unsigned>(get.size())));
    ASSERT_TRUE(PumpUntil([&] { return GameAnswers().size() == 1; },
                          static_cast<int>(CUpdateSession::kAddrReplyTimeoutMs) + 5000));
    EXPECT_EQ(Body(300, 1, int32_t{-1}, uint32_t{0}, uint32_t{0}), GameAnswers()[0]);
    // The mark went with it: the next request goes to the gate.
    Conn().m_strRecv.clear();
    ASSERT_TRUE(m_pEngine->GetSender()->Send(get.data(), static_cast<unsigned>(get.size())));
    std::string payload;
    EXPECT_TRUE(PumpUntil([&] { return TakeGateFrame(Conn().m_strRecv, &payload); }));
}

TEST_F(Update, ReleasingTheEngineMidDownloadLeavesNoPartFile)
{
    ASSERT_NO_FATAL_FAILURE(AskForOneFile(120, 0));
    InnerSends(InnerFrame(Body(301, 2, uint32_t{100}, uint32_t{100})) +
               InnerFrame(Body(301, 3, TBigString{TVecChar(10, 'x')})));
    const std::string part = CResInfoVerMgr::Instance().GetDir() + "120.0.part";
    ASSERT_TRUE(PumpUntil([&] { return qxplat::FileExists(part); }));
    m_Handler.m_pEngine = nullptr;  // TearDown must not release again
    m_pEngine->Release();
    m_pEngine = nullptr;
    EXPECT_FALSE(qxplat::FileExists(part));
    ASSERT_TRUE(PumpUntil([&] { return m_Inner.m_Accepted.back()->m_nCloses == 1; }));
}

}  // namespace
