#include "platform/files.h"
#include "platform/paths.h"
#include "support/scratchdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <tuple>

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

TEST(Files, ExclusiveCreateAndRemovalOfWhatIsGone)
{
    CScratchDir scratch("files-excl");
    const std::string dir = scratch.Path("dir");
    const std::string file = scratch.Path("file");
    WriteFile(file);
    EXPECT_TRUE(CreateDirExclusive(dir));
    EXPECT_FALSE(CreateDirExclusive(dir));  // there already: not made by this call
    EXPECT_FALSE(CreateDirExclusive(file));

    WriteFile(dir + kPathSep + "inner");
    struct {
        std::string path;
        bool missing;
    } cases[] = {
        {scratch.Path("gone"), true},
        {scratch.Path("gone") + kPathSep + "child", false},  // the parent is missing too
        {dir, false},                                        // not empty
        {file, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        bool missing = !c.missing;
        EXPECT_FALSE(RemoveDir(c.path, &missing));
        EXPECT_EQ(c.missing, missing);
    }
}

TEST(Files, LinksAreNamedNotFollowed)
{
    CScratchDir scratch("files-link");
    const std::string target = scratch.Path("target");
    const std::string tree = scratch.Path("tree");
    const std::string link = tree + kPathSep + "link";
    ASSERT_TRUE(CreateDir(target));
    ASSERT_TRUE(CreateDir(tree));
    WriteFile(target + kPathSep + "kept.txt");
    std::error_code ec;
    fs::create_directory_symlink(target, link, ec);
    if (ec)
        GTEST_SKIP() << "no symbolic links here: " << ec.message();

    EXPECT_TRUE(IsLink(link));
    EXPECT_TRUE(IsLink(link + kPathSep));
    EXPECT_FALSE(IsLink(target));
    EXPECT_FALSE(IsLink(scratch.Path("missing")));
    std::vector<TDirEntry> entries;
    ASSERT_TRUE(ListDir(tree, &entries));
    ASSERT_EQ(1u, entries.size());
    EXPECT_TRUE(entries[0].isLink);
    EXPECT_TRUE(entries[0].isDir);

    EXPECT_FALSE(ClearReadOnly(link));
    EXPECT_FALSE(DeleteLink(target));
    EXPECT_TRUE(DeleteLink(link));
    EXPECT_FALSE(FileExists(link));
    EXPECT_TRUE(FileExists(target + kPathSep + "kept.txt"));
}

TEST(Files, ReadOnlyClearedAndRenameReplaces)
{
    CScratchDir scratch("files-move");
    const std::string from = scratch.Path("from.txt");
    const std::string to = scratch.Path("to.txt");
    const std::string dir = scratch.Path("dir");
    WriteFile(from);
    {
        std::ofstream out(to, std::ios::binary);
        out << "old target";
    }
    ASSERT_TRUE(CreateDir(dir));
    fs::permissions(from, fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_TRUE(ClearReadOnly(from));
    EXPECT_NE(fs::status(from).permissions() & fs::perms::owner_write, fs::perms::none);
    EXPECT_TRUE(ClearReadOnly(dir));
    EXPECT_FALSE(ClearReadOnly(scratch.Path("missing")));

    EXPECT_TRUE(MoveFileReplace(from, to));
    EXPECT_FALSE(FileExists(from));
    std::ifstream in(to, std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    EXPECT_EQ("data", content);
    EXPECT_FALSE(MoveFileReplace(to, dir));
    EXPECT_FALSE(MoveFileReplace(dir, scratch.Path("elsewhere")));
    EXPECT_FALSE(MoveFileReplace(scratch.Path("missing"), to));
}

TEST(Files, ModificationTimeRoundTrip)
{
    CScratchDir scratch("files-time");
    const std::string file = scratch.Path("a.txt");
    WriteFile(file);
    const TLocalTime when{2001, 2, 3, 4, 5, 6, 0};
    ASSERT_TRUE(SetFileModTime(file, when));
    TLocalTime got{};
    ASSERT_TRUE(GetFileModTime(file, &got));
    EXPECT_EQ(std::make_tuple(2001, 2, 3, 4, 5, 6),
              std::make_tuple(got.year, got.month, got.day, got.hour, got.minute, got.second));
    EXPECT_FALSE(GetFileModTime(scratch.Path("missing"), &got));
    EXPECT_FALSE(SetFileModTime(scratch.Path("missing"), when));
}

TEST(Files, TempDirEndsWithTheSeparator)
{
    const std::string dir = TempDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), kPathSep);
    EXPECT_TRUE(IsDirectory(dir));
}

TEST(Files, AppDataDirEndsWithTheSeparator)
{
    const std::string dir = AppDataDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), kPathSep);
    EXPECT_TRUE(IsDirectory(dir));
}

}  // namespace
