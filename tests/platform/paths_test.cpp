#include "platform/paths.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace qxplat;

TEST(Paths, DirectoriesEndWithTheSeparator)
{
    for (const std::string& dir : {ExeDir(), LibraryDir()}) {
        SCOPED_TRACE(dir);
        ASSERT_FALSE(dir.empty());
        EXPECT_EQ(kPathSep, dir.back());
        EXPECT_NE(std::string::npos, dir.find(kPathSep));
    }
}

TEST(Paths, CodeLinkedIntoAProgramLiesInTheProgramsDirectory)
{
    // This program carries the engine's code itself, so both are one place
    // (the library's own folder is checked with the built library).
    EXPECT_EQ(ExeDir(), LibraryDir());
    EXPECT_EQ(ExeDir(), ModuleDir(nullptr));
}

}  // namespace
