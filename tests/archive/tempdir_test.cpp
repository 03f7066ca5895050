#include "qxnetengine/archive/tempdir.h"
#include "platform/paths.h"
#include "platform/thread.h"
#include "platform/time.h"
#include "support/scratchdir.h"
#include "zipfixture.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#endif

#include <filesystem>
#include <functional>
#include <cstdio>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

void MakeReadOnly(const std::string& path)
{
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

std::string Hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(value));
    return text;
}

TEST(TempDir, TwoInTheSameMillisecondOnOneThreadDiffer)
{
    const std::string root = CTempDir::GetRootDir();
    ASSERT_FALSE(root.empty());
    CTempDir first(true);  // makes the root
    ASSERT_NE(nullptr, first.GetPath());
    // Directories already named for this thread and each of the coming
    // milliseconds stand for one made earlier in the same millisecond: on
    // Wine two directories never come within one tick.
    const std::string prefix = root + Hex(qxplat::CurrentThreadId());
    const uint32_t kWindow = 256;
    bool inWindow = false;
    for (int attempt = 0; attempt < 20 && !inWindow; ++attempt) {
        const uint32_t start = qxplat::TickCountMs();
        std::vector<std::string> taken;
        for (uint32_t t = start; t != start + kWindow; ++t) {
            taken.push_back(prefix + Hex(t));
            fs::create_directory(taken.back());
        }
        {
            CTempDir second(true);
            ASSERT_NE(nullptr, second.GetPath());
            const std::string b = second.GetPath();
            const uint32_t tick = qxplat::TickCountMs();
            inWindow = tick - start < kWindow;
            if (inWindow) {
                // Its name is the taken one with a random suffix; the taken
                // one is left as it was.
                const std::string& name = taken[tick - start];
                bool extendsTaken = false;
                for (const std::string& t : taken)
                    extendsTaken = extendsTaken || (b.size() > t.size() + 1 &&
                                                    b.compare(0, t.size(), t) == 0);
                EXPECT_TRUE(extendsTaken) << b << " after " << name;
                EXPECT_EQ(qxplat::kPathSep, b.back());
                EXPECT_NE(std::string(first.GetPath()), b);
                EXPECT_TRUE(fs::is_directory(b));
            }
        }
        for (const std::string& t : taken) {
            EXPECT_TRUE(fs::is_directory(t));
            EXPECT_TRUE(fs::is_empty(t));
            fs::remove(t);
        }
    }
    EXPECT_TRUE(inWindow);
}

#ifndef _WIN32
// With no home folder the root lies in the shared temporary folder, where
// another local user may have put something at its name first.
TEST(TempDir, ASharedRootIsUsedOnlyWhenItIsTheUsersOwn)
{
    CScratchDir scratch("temproot");
    const std::string base = scratch.Path("");
    const std::string standard = base + "ZIPTemp";
    struct Case {
        const char* name;
        std::function<bool()> prepare;  // false: cannot be set up here
        bool standardTaken;
    } cases[] = {
        {"missing", [] { return true; }, true},
        {"a link to another folder",
         [&] {
             fs::create_directory(base + "elsewhere");
             fs::create_directory_symlink(base + "elsewhere", standard);
             return true;
         },
         false},
        {"writable by others",
         [&] { return fs::create_directory(standard) && chmod(standard.c_str(), 0777) == 0; },
         false},
        {"another user's",
         [&] {
             return geteuid() == 0 && fs::create_directory(standard) &&
                    chmod(standard.c_str(), 0700) == 0 && chown(standard.c_str(), 12345, 12345) == 0;
         },
         false},
    };
    const char* home = getenv("HOME");
    const std::string savedHome = home ? home : "";
    const char* tmp = getenv("TMPDIR");
    const std::string savedTmp = tmp ? tmp : "";
    unsetenv("HOME");
    unsetenv("XDG_CACHE_HOME");
    setenv("TMPDIR", base.c_str(), 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(standard);
        if (!c.prepare()) {
            std::printf("skipped %s: needs root\n", c.name);
            continue;
        }
        const std::string root = CTempDir::GetRootDir();
        ASSERT_FALSE(root.empty());
        EXPECT_EQ(c.standardTaken, root == standard + "/") << root;
        struct stat st;
        ASSERT_EQ(0, lstat(root.substr(0, root.size() - 1).c_str(), &st));
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(geteuid(), st.st_uid);
        EXPECT_EQ(0u, st.st_mode & (S_IWGRP | S_IWOTH));
        CTempDir dir(true);
        ASSERT_NE(nullptr, dir.GetPath());
        EXPECT_EQ(root, std::string(dir.GetPath()).substr(0, root.size()));
        EXPECT_TRUE(!fs::exists(base + "elsewhere") || fs::is_empty(base + "elsewhere"));
    }
    fs::remove_all(standard);
    if (home)
        setenv("HOME", savedHome.c_str(), 1);
    if (tmp)
        setenv("TMPDIR", savedTmp.c_str(), 1);
    else
        unsetenv("TMPDIR");
}
#endif

TEST(TempDir, AutoDeleteDecidesWhetherTheTreeStays)
{
    std::string kept, removed;
    {
        CTempDir autoDelete(true), keep(false);
        ASSERT_NE(nullptr, autoDelete.GetPath());
        ASSERT_NE(nullptr, keep.GetPath());
        removed = autoDelete.GetPath();
        kept = keep.GetPath();
        fs::create_directories(removed + "sub");
        WriteBytes(removed + "sub/file.txt", "data");
        MakeReadOnly(removed + "sub/file.txt");
    }
    EXPECT_FALSE(fs::exists(removed));
    EXPECT_TRUE(fs::is_directory(kept));
    EXPECT_TRUE(DeleteDirTree(kept.c_str()));
    EXPECT_FALSE(fs::exists(kept));
}

TEST(DeleteDirTree, RemovesNestedReadOnlyTrees)
{
    CScratchDir scratch("deltree");
    const std::string tree = scratch.Path("tree");
    fs::create_directories(tree + "/a/b/c");
    fs::create_directories(tree + "/empty");
    for (const char* file : {"/top.txt", "/a/one.txt", "/a/b/two.txt", "/a/b/c/three.txt"}) {
        WriteBytes(tree + file, file);
        MakeReadOnly(tree + file);
    }
    MakeReadOnly(tree + "/a/b/c");
    MakeReadOnly(tree + "/a");
    EXPECT_TRUE(DeleteDirTree(tree.c_str()));
    EXPECT_FALSE(fs::exists(tree));
    EXPECT_FALSE(DeleteDirTree(tree.c_str()));
    EXPECT_FALSE(DeleteDirTree(nullptr));
    EXPECT_FALSE(DeleteDirTree(""));
}

TEST(DeleteDirTree, RemovesLinksButNotWhatTheyPointTo)
{
    CScratchDir scratch("deltree-link");
    const std::string tree = scratch.Path("tree");
    const std::string outside = scratch.Path("outside");
    fs::create_directories(tree);
    fs::create_directories(outside + "/inner");
    WriteBytes(outside + "/keep.txt", "keep");
    WriteBytes(outside + "/inner/keep2.txt", "keep");
    std::error_code ec;
    fs::create_directory_symlink(outside, tree + "/dirlink", ec);
    if (!ec)
        fs::create_symlink(outside + "/keep.txt", tree + "/filelink", ec);
    if (!ec)
        fs::create_directory_symlink(outside, scratch.Path("toplink"), ec);
    if (ec)
        GTEST_SKIP() << "no symbolic links here: " << ec.message();

    EXPECT_TRUE(DeleteDirTree(tree.c_str()));
    EXPECT_FALSE(fs::exists(tree));
    // Given a link itself, only the link goes.
    EXPECT_TRUE(DeleteDirTree((scratch.Path("toplink") + qxplat::kPathSep).c_str()));
    EXPECT_FALSE(fs::is_symlink(scratch.Path("toplink")));
    EXPECT_EQ((std::vector<std::string>{"inner/", "inner/keep2.txt", "keep.txt"}),
              TreeListing(outside));
}

TEST(DeleteDir, EmptyMissingAndFullDirectories)
{
    CScratchDir scratch("deldir");
    const std::string empty = scratch.Path("empty"), full = scratch.Path("full");
    const std::string missing = scratch.Path("missing");
    const std::string missingParent = missing + qxplat::kPathSep + "child";
    fs::create_directories(empty);
    fs::create_directories(full + "/sub");
    WriteBytes(full + "/sub/file.txt", "x");
    struct {
        const char* path;
        bool recursive;
        bool result;
        bool gone;
    } cases[] = {
        {nullptr, false, false, false},       {"", false, false, false},
        {missing.c_str(), false, true, true}, {missingParent.c_str(), false, false, true},
        {full.c_str(), false, false, false},  {empty.c_str(), false, true, true},
        {full.c_str(), true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path ? c.path : "(null)");
        EXPECT_EQ(c.result, DeleteDir(c.path, c.recursive));
        if (c.path && *c.path) {
            EXPECT_EQ(c.gone, !fs::exists(c.path));
        }
    }
}

}  // namespace
