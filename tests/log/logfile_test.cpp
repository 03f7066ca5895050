#include "qxnetengine/log/logfile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// A fixed clock: 31 January 2024, 9:05:07.042, or the minute around midnight.
qxplat::TLocalTime g_fixed = {2024, 1, 31, 9, 5, 7, 42};
void FixedClock(qxplat::TLocalTime* t) { *t = g_fixed; }

// The log lives beside the test program, which runs in its own directory.
const char* kFileOf31Jan = "QXNetEngine.log20240131.log";

std::string ReadFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class LogFile : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // The first call names the log, as start-up does.
        GetLog("QXNetEngine.log");
    }
    void SetUp() override
    {
        g_fixed = {2024, 1, 31, 9, 5, 7, 42};
        CLogFile::SetClock(FixedClock);
        std::remove(kFileOf31Jan);
        std::remove("QXNetEngine.log20240201.log");
    }
    void TearDown() override { CLogFile::SetClock(nullptr); }
};

TEST_F(LogFile, NameAndHeaderAreExact)
{
    GetLog("NetLog").Write(2, "%s", "hello");
    EXPECT_EQ("$$ [2024/1/31 9:5:7:42] hello\r\n", ReadFile(kFileOf31Jan));
}

TEST_F(LogFile, LevelPrefixes)
{
    struct {
        int level;
        const char* prefix;
    } cases[] = {{0, "=="}, {1, "**"}, {2, "$$"}, {5, "$$"}, {-1, "$$"}};
    std::string expected;
    for (const auto& c : cases) {
        GetLog("NetLog").Write(c.level, "x");
        expected += std::string(c.prefix) + " [2024/1/31 9:5:7:42] x\r\n";
    }
    EXPECT_EQ(expected, ReadFile(kFileOf31Jan));
}

TEST_F(LogFile, MessageIsAFormat)
{
    GetLog("NetLog").Write(2, "[%s] %d%%", "CGameClient::DispMsg", 42);
    EXPECT_EQ("$$ [2024/1/31 9:5:7:42] [CGameClient::DispMsg] 42%\r\n", ReadFile(kFileOf31Jan));
}

TEST_F(LogFile, LongMessagesAreCutNotDropped)
{
    std::string exact(CLogFile::kMaxMessage, 'a');
    std::string longer(CLogFile::kMaxMessage + 1, 'b');
    std::string huge(10000, 'c');
    GetLog("NetLog").Write(2, "%s", exact.c_str());
    GetLog("NetLog").Write(2, "%s", longer.c_str());
    GetLog("NetLog").Write(2, "%s", huge.c_str());
    GetLog("NetLog").Write(2, "");
    GetLog("NetLog").Write(2, "after");
    const std::string h = "$$ [2024/1/31 9:5:7:42] ";
    EXPECT_EQ(h + exact + "\r\n" + h + longer.substr(0, CLogFile::kMaxMessage) + "\r\n" + h +
                  huge.substr(0, CLogFile::kMaxMessage) + "\r\n" + h + "\r\n" + h + "after\r\n",
              ReadFile(kFileOf31Jan));
}

TEST_F(LogFile, MidnightStartsANewFile)
{
    g_fixed = {2024, 1, 31, 23, 59, 59, 999};
    GetLog("NetLog").Write(2, "before");
    g_fixed = {2024, 2, 1, 0, 0, 0, 1};
    GetLog("NetLog").Write(2, "after");
    EXPECT_EQ("$$ [2024/1/31 23:59:59:999] before\r\n", ReadFile(kFileOf31Jan));
    EXPECT_EQ("$$ [2024/2/1 0:0:0:1] after\r\n", ReadFile("QXNetEngine.log20240201.log"));
    std::remove("QXNetEngine.log20240201.log");
}

TEST_F(LogFile, LaterNamesWriteToTheSameFile)
{
    GetLog("NetLog").Write(2, "one");
    GetLog("Other.log").Write(2, "two");
    EXPECT_EQ(&GetLog("NetLog"), &GetLog("Other.log"));
    EXPECT_EQ("$$ [2024/1/31 9:5:7:42] one\r\n$$ [2024/1/31 9:5:7:42] two\r\n",
              ReadFile(kFileOf31Jan));
}

TEST_F(LogFile, ThreadsNeverInterleaveWithinALine)
{
    const int kThreads = 6, kLines = 150;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            std::string pad(50 + t * 30, static_cast<char>('a' + t));
            for (int i = 0; i < kLines; ++i)
                GetLog("NetLog").Write(2, "T%d-%d-%s", t, i, pad.c_str());
        });
    }
    for (std::thread& th : threads) th.join();

    std::string all = ReadFile(kFileOf31Jan);
    std::regex line(R"(\$\$ \[2024/1/31 9:5:7:42\] T(\d)-(\d+)-([a-z]+))");
    std::vector<int> next(kThreads, 0);
    size_t pos = 0, count = 0;
    while (pos < all.size()) {
        size_t end = all.find("\r\n", pos);
        ASSERT_NE(std::string::npos, end);
        std::smatch m;
        std::string text = all.substr(pos, end - pos);
        ASSERT_TRUE(std::regex_match(text, m, line)) << text.substr(0, 80);
        int t = std::stoi(m[1]);
        EXPECT_EQ(next[t]++, std::stoi(m[2]));  // each thread's lines in its order
        EXPECT_EQ(std::string(50 + t * 30, static_cast<char>('a' + t)), m[3].str());
        pos = end + 2;
        ++count;
    }
    EXPECT_EQ(static_cast<size_t>(kThreads * kLines), count);
}

}  // namespace
