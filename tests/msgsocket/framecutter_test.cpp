#include "common/msgsocket/framecutter.h"
#include "common/bytes/byteorder.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::string Frame(const std::string& payload)
{
    std::string f(4, '\0');
    WriteU32LE(&f[0], static_cast<uint32_t>(payload.size()));
    return f + payload;
}

// Takes frames up to 16 bytes, skips longer ones up to 1 MiB; a handler
// step may run inside any frame, as a game's handler would.
class CCutterOwner : public IFrameOwner {
public:
    CCutterOwner() : m_Cutter(this) {}
    Verdict CheckFrameLen(uint32_t len) override
    {
        return len <= 16 ? kTake : len <= (1u << 20) ? kSkip : kClose;
    }
    bool OnFrame(const char* data, uint32_t len) override
    {
        m_Frames.emplace_back(data, len);
        if (m_Inside)
            m_Inside(m_Frames.back());
        return m_Frames.back() != "bad";
    }
    bool IsCutStopped() override { return false; }
    bool Feed(const std::string& bytes)
    {
        m_Cutter.Take(bytes.data(), bytes.size());
        return m_Cutter.Cut();
    }

    CFrameCutter m_Cutter;
    std::vector<std::string> m_Frames;
    std::function<void(const std::string&)> m_Inside;
};

TEST(FrameCutter, HandlersThatThrowPumpOrResetAndFramesThatAreSkipped)
{
    {
        SCOPED_TRACE("a handler that throws loses its own frame only");
        CCutterOwner o;
        o.m_Inside = [](const std::string& f) {
            if (f == "one")
                throw std::runtime_error("handler failed");
        };
        EXPECT_TRUE(o.Feed(Frame("one") + Frame("two") + Frame("three")));
        EXPECT_EQ((std::vector<std::string>{"one", "two", "three"}), o.m_Frames);
        EXPECT_EQ(0u, o.m_Cutter.Held());
    }
    {
        SCOPED_TRACE("bytes that arrive inside a handler follow the held frames");
        CCutterOwner o;
        o.m_Inside = [&](const std::string& f) {
            if (f == "one") {
                EXPECT_TRUE(o.Feed(Frame("late") + Frame("late").substr(0, 6)));
            }
        };
        EXPECT_TRUE(o.Feed(Frame("one") + Frame("two")));
        EXPECT_TRUE(o.Feed("te"));
        EXPECT_EQ((std::vector<std::string>{"one", "two", "late", "late"}), o.m_Frames);
    }
    {
        SCOPED_TRACE("a reset inside a handler drops what is held");
        CCutterOwner o;
        o.m_Inside = [&](const std::string&) { o.m_Cutter.Reset(); };
        EXPECT_TRUE(o.Feed(Frame("one") + Frame("two")));
        EXPECT_EQ(std::vector<std::string>{"one"}, o.m_Frames);
        EXPECT_EQ(0u, o.m_Cutter.Held());
    }
    {
        SCOPED_TRACE("a skipped frame is never held, however it is cut");
        CCutterOwner o;
        std::string stream = Frame("a") + Frame(std::string(100000, 'x')) + Frame("b");
        for (size_t at = 0; at < stream.size(); at += 1000) {
            EXPECT_TRUE(o.Feed(stream.substr(at, 1000)));
            EXPECT_LE(o.m_Cutter.Held(), 1000u);
        }
        EXPECT_EQ((std::vector<std::string>{"a", "b"}), o.m_Frames);
    }
    {
        SCOPED_TRACE("a refused frame or a length never valid closes");
        CCutterOwner o;
        EXPECT_FALSE(o.Feed(Frame("bad") + Frame("after")));
        EXPECT_EQ(std::vector<std::string>{"bad"}, o.m_Frames);
        CCutterOwner p;
        std::string huge(4, '\xFF');
        EXPECT_FALSE(p.Feed(huge));
    }
}

}  // namespace
