#include "platform/files.h"
#include "platform/paths.h"
#include "scratchdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

using namespace qxplat;
namespace fs = std::filesystem;

void WriteFile(const std::string& path)
{
    std::ofstream out(path, std::ios::binary);
    out << "data";
}

std::vector<std::string> Listing(const std::string& dir)
{
    std::vector<TDirEntry> entries;
    EXPECT_TRUE(ListDir(dir, &entries));
    std::vector<std::string> names;
    for (const TDirEntry& e : entries) names.push_back(e.name + (e.isDir ? "/" : ""));
    std::sort(names.begin(), names.end());
    return names;
}

TEST(Files, CreateListAndDelete)
{
    CScratchDir scratch("files");
    const std::string sub = scratch.Path("sub");
    const std::string file = scratch.Path("a.txt");
    const std::string readOnly = scratch.Path("ro.txt");

    ASSERT_TRUE(CreateDir(sub));
    EXPECT_TRUE(CreateDir(sub));  // already there counts
    EXPECT_TRUE(IsDirectory(sub));
    WriteFile(file);
    WriteFile(readOnly);
    fs::permissions(readOnly,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    ASSERT_EQ(fs::status(readOnly).permissions() & fs::perms::owner_write, fs::perms::none);

    EXPECT_TRUE(FileExists(file));
    EXPECT_FALSE(IsDirectory(file));
    EXPECT_FALSE(CreateDir(file));  // a file of that name is in the way
    EXPECT_FALSE(CreateDir(scratch.Path("missing") + kPathSep + "child"));

    const std::vector<std::string> want = {"a.txt", "ro.txt", "sub/"};
    EXPECT_EQ(Listing(scratch.Dir()), want);
    EXPECT_EQ(Listing(scratch.Dir() + kPathSep), want);
    std::vector<TDirEntry> none;
    EXPECT_FALSE(ListDir(scratch.Path("missing"), &none));

    WriteFile(sub + kPathSep + "inner");
    EXPECT_FALSE(RemoveDir(sub));  // not empty
    EXPECT_FALSE(DeleteFileForce(sub));
    EXPECT_TRUE(DeleteFileForce(sub + kPathSep + "inner"));
    EXPECT_TRUE(RemoveDir(sub));
    EXPECT_TRUE(DeleteFileForce(file));
    EXPECT_TRUE(DeleteFileForce(readOnly));
    EXPECT_FALSE(DeleteFileForce(file));
    EXPECT_FALSE(FileExists(file));
    EXPECT_FALSE(FileExists(readOnly));
    EXPECT_TRUE(Listing(scratch.Dir()).empty());
}

TEST(Files, AppDataDirEndsWithTheSeparator)
{
    const std::string dir = AppDataDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), kPathSep);
    EXPECT_TRUE(IsDirectory(dir));
}

}  // namespace
