#include "platform/paths.h"
#include "qxnetengine/archive/tempdir.h"
#include "qxnetengine/archive/ziparchive.h"
#include "support/scratchdir.h"
#include "zipfixture.h"

#include <gtest/gtest.h>

#include <minizip/unzip.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Every item of the archive with its content, read back through mode 4.
std::map<std::string, std::string> ReadAll(const std::string& path)
{
    std::map<std::string, std::string> items;
    CZipArchive zip;
    if (!zip.Open(path.c_str(), CZipArchive::kModeRead))
        return items;
    for (const std::string& name : StoredNames(path)) {
        uint32_t len = 0;
        if (!zip.ReadItem(name.c_str(), nullptr, &len))
            continue;
        std::string data(len, '\0');
        if (zip.ReadItem(name.c_str(), &data[0], &len))
            items[name] = data;
    }
    return items;
}

class ZipWrite : public ::testing::Test {
protected:
    std::string MakeFile(const std::string& name, const std::string& data)
    {
        const std::string path = m_Scratch.Path(name);
        fs::create_directories(fs::path(path).parent_path());
        WriteBytes(path, data);
        return path;
    }

    CScratchDir m_Scratch{"zipwrite"};
    std::string m_strZip = m_Scratch.Path("out.zip");
};

TEST_F(ZipWrite, CreateReplacesTheTargetOnlyWhenClosed)
{
    WriteBytes(m_strZip, "old content, not an archive");
    const std::string a = MakeFile("src/a.txt", "alpha alpha alpha");
    const std::string b = MakeFile("src/b.bin", std::string("\0\1\2\3", 4));

    CZipArchive zip;
    ASSERT_TRUE(zip.Open(m_strZip.c_str(), CZipArchive::kModeCreate));
    ASSERT_TRUE(zip.AddFile("a.txt", a.c_str()));
    ASSERT_TRUE(zip.AddFile("sub\\b.bin", b.c_str()));
    uint32_t len = 0;
    EXPECT_FALSE(zip.ReadItem("a.txt", nullptr, &len));
    EXPECT_EQ(CZipArchive::kErrModeMismatch, zip.GetLastResult());
    EXPECT_EQ("old content, not an archive", ReadBytes(m_strZip));
    ASSERT_TRUE(zip.Close());

    EXPECT_EQ((std::vector<std::string>{"a.txt", "sub/b.bin"}), StoredNames(m_strZip));
    const std::map<std::string, std::string> want = {{"a.txt", "alpha alpha alpha"},
                                                     {"sub/b.bin", std::string("\0\1\2\3", 4)}};
    EXPECT_EQ(want, ReadAll(m_strZip));
    // Nothing but the archive and the sources stays behind.
    EXPECT_EQ((std::vector<std::string>{"out.zip", "src/", "src/a.txt", "src/b.bin"}),
              TreeListing(m_Scratch.Dir()));
}

TEST_F(ZipWrite, FolderTreeUsesThePrefixAndSlashes)
{
    MakeFile("tree/top.txt", "top");
    MakeFile("tree/sub/deeper/leaf.txt", "leaf");
    CZipArchive zip;
    ASSERT_TRUE(zip.Open(m_strZip.c_str(), CZipArchive::kModeCreate));
    ASSERT_TRUE(zip.AddFolderTree("pre", m_Scratch.Path("tree").c_str()));
    EXPECT_FALSE(zip.AddFolderTree("", m_Scratch.Path("missing").c_str()));
    ASSERT_TRUE(zip.Close());
    EXPECT_EQ((std::vector<std::string>{"pre/sub/deeper/leaf.txt", "pre/top.txt"}),
              StoredNames(m_strZip));
}

TEST_F(ZipWrite, FolderTreeWithALinkFails)
{
    MakeFile("tree/a.txt", "a");
    MakeFile("outside/secret.txt", "secret");
    std::error_code ec;
    fs::create_directory_symlink(m_Scratch.Path("outside"), m_Scratch.Path("tree/link"), ec);
    if (ec)
        GTEST_SKIP() << "no symbolic links here: " << ec.message();
    CZipArchive zip;
    ASSERT_TRUE(zip.Open(m_strZip.c_str(), CZipArchive::kModeCreate));
    EXPECT_FALSE(zip.AddFolderTree("", m_Scratch.Path("tree").c_str()));
    EXPECT_GT(zip.GetLastResult(), 0);
}

TEST_F(ZipWrite, AddFileRefusals)
{
    const std::string src = MakeFile("a.txt", "a");
    const std::string missing = m_Scratch.Path("missing.txt");
    CZipArchive zip;
    EXPECT_FALSE(zip.AddFile("a.txt", src.c_str()));  // never opened: read mode
    EXPECT_EQ(CZipArchive::kErrModeMismatch, zip.GetLastResult());

    ASSERT_TRUE(zip.Open(m_strZip.c_str(), CZipArchive::kModeCreate));
    struct {
        const char* name;
        const char* file;
        int32_t code;
    } cases[] = {
        {nullptr, src.c_str(), CZipArchive::kErrParam},
        {"a.txt", nullptr, CZipArchive::kErrParam},
        {"", src.c_str(), CZipArchive::kErrParam},
        {"../a.txt", src.c_str(), CZipArchive::kErrParam},
        {"sub\\..\\..\\a.txt", src.c_str(), CZipArchive::kErrParam},
        {"/a.txt", src.c_str(), CZipArchive::kErrParam},
        {"C:a.txt", src.c_str(), CZipArchive::kErrParam},
        {"folder/", src.c_str(), CZipArchive::kErrParam},
        {"a.txt", missing.c_str(), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name ? c.name : "(null)");
        EXPECT_FALSE(zip.AddFile(c.name, c.file));
        EXPECT_EQ(c.code, zip.GetLastResult());
    }
    // None of them touched the archive being written.
    ASSERT_TRUE(zip.AddFile("a.txt", src.c_str()));
    ASSERT_TRUE(zip.Close());
    EXPECT_EQ((std::map<std::string, std::string>{{"a.txt", "a"}}), ReadAll(m_strZip));
}

TEST_F(ZipWrite, FailureInsideAnItemKeepsTheOldArchive)
{
    // Opens, but every read fails: the item is cut short inside the archive.
    const char* unreadable = "/proc/self/mem";
    if (!fs::exists(unreadable))
        GTEST_SKIP() << "no file here that opens but cannot be read";
    WriteBytes(m_strZip, "the old archive");
    const std::string a = MakeFile("a.txt", "a");
    CZipArchive zip;
    ASSERT_TRUE(zip.Open(m_strZip.c_str(), CZipArchive::kModeCreate));
    ASSERT_TRUE(zip.AddFile("a.txt", a.c_str()));
    EXPECT_FALSE(zip.AddFile("mem.bin", unreadable));
    EXPECT_EQ(1, zip.GetLastResult());
    ASSERT_TRUE(zip.AddFile("b.txt", a.c_str()));
    EXPECT_FALSE(zip.Close());
    EXPECT_EQ(1, zip.GetLastResult());
    EXPECT_EQ("the old archive", ReadBytes(m_strZip));
    EXPECT_EQ((std::vector<std::string>{"a.txt", "out.zip"}), TreeListing(m_Scratch.Dir()));
}

TEST_F(ZipWrite, PasswordsAreRefused)
{
    CZipArchive zip;
    EXPECT_FALSE(zip.Open(m_strZip.c_str(), CZipArchive::kModeCreate, "secret"));
    EXPECT_EQ(CZipArchive::kErrParam, zip.GetLastResult());
    EXPECT_FALSE(fs::exists(m_strZip));
}

class ZipModify : public ZipWrite {
protected:
    void SetUp() override
    {
        m_strRoot = CTempDir::GetRootDir();
        m_vecRootBefore = TreeListing(m_strRoot);
    }
    void TearDown() override
    {
        EXPECT_EQ(m_vecRootBefore, TreeListing(m_strRoot)) << "left behind under " << m_strRoot;
    }

    std::string m_strRoot;
    std::vector<std::string> m_vecRootBefore;
};

TEST_F(ZipModify, KeepsEveryItemWithItsPathAndContent)
{
    TZipEntry index{"1.xml", "<root><Record><ResID>1</ResID></Record></root>"};
    index.deflate = true;
    index.dosDate = (21 << 9) | (2 << 5) | 3;  // 2001-02-03
    index.dosTime = (4 << 11) | (5 << 5) | 3;  // 04:05:06
    TZipEntry folderItem{"sub/deeper/x.bin", std::string("\0\xFF\0\xFE", 4)};
    WriteBytes(m_strZip, BuildZip({index, folderItem, {"top.txt", "top"}, {"empty.txt", ""}}));
    const std::string extra = MakeFile("extra.txt", "added later");

    CZipArchive zip;
    ASSERT_TRUE(zip.Open(m_strZip.c_str(), CZipArchive::kModeModify));
    ASSERT_TRUE(zip.AddFile("more\\extra.txt", extra.c_str()));
    ASSERT_TRUE(zip.Close());

    const std::map<std::string, std::string> want = {
        {"1.xml", index.data},
        {"empty.txt", ""},
        {"more/extra.txt", "added later"},
        {"sub/deeper/x.bin", folderItem.data},
        {"top.txt", "top"},
    };
    EXPECT_EQ(want, ReadAll(m_strZip));

    // The item's time survives the trip through the disk.
    unzFile zf = unzOpen(m_strZip.c_str());
    ASSERT_NE(nullptr, zf);
    ASSERT_EQ(UNZ_OK, unzLocateFile(zf, "1.xml", 1));
    unz_file_info info;
    ASSERT_EQ(UNZ_OK, unzGetCurrentFileInfo(zf, &info, nullptr, 0, nullptr, 0, nullptr, 0));
    unzClose(zf);
    EXPECT_EQ(2001u, info.tmu_date.tm_year);
    EXPECT_EQ(1u, info.tmu_date.tm_mon);
    EXPECT_EQ(3u, info.tmu_date.tm_mday);
    EXPECT_EQ(4u, info.tmu_date.tm_hour);
    EXPECT_EQ(5u, info.tmu_date.tm_min);
    EXPECT_EQ(6u, info.tmu_date.tm_sec);
}

TEST_F(ZipModify, HostileArchivesAreRefusedUntouched)
{
    // An absolute name that points into the scratch directory, so that a
    // faulty extraction would show there.
    std::string absolute = m_Scratch.Path("abs_evil.txt");
    TZipEntry link{"link", m_Scratch.Dir()};
    link.unixMode = 0120777;
    struct {
        const char* label;
        std::vector<TZipEntry> entries;
    } cases[] = {
        {"parent", {{"ok.txt", "ok"}, {"../evil.txt", "evil"}}},
        {"deep parent", {{"ok.txt", "ok"}, {"sub/../../evil.txt", "evil"}}},
        {"backslash parent", {{"ok.txt", "ok"}, {"sub\\..\\..\\evil.txt", "evil"}}},
        {"windows dots", {{"ok.txt", "ok"}, {"sub/.. /../evil.txt", "evil"}}},
        {"absolute", {{"ok.txt", "ok"}, {absolute, "evil"}}},
        {"drive", {{"ok.txt", "ok"}, {"C:evil.txt", "evil"}}},
        {"link", {{"ok.txt", "ok"}, link}},
        {"case twins", {{"Readme.txt", "one"}, {"README.TXT", "two"}}},
        {"case twins in folders", {{"Dir/a.txt", "one"}, {"dir/b.txt", "two"}}},
        {"duplicate", {{"a.txt", "one"}, {"a.txt", "two"}}},
        {"file and folder", {{"a", "file"}, {"a/b.txt", "two"}}},
        // Windows opens these as devices, whatever the extension.
        {"device", {{"ok.txt", "ok"}, {"NUL", "lost"}}},
        {"device with an extension", {{"ok.txt", "ok"}, {"sub/com1.txt", "lost"}}},
        {"device with blanks", {{"ok.txt", "ok"}, {"Aux .log", "lost"}}},
        // The short name Windows gives the other item.
        {"short name of a sibling", {{"longname.txt", "one"}, {"LONGNA~1.TXT", "two"}}},
        {"short name in a folder", {{"d/Program Files/a", "one"}, {"d/PROGRA~1/b", "two"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string bytes = BuildZip(c.entries);
        WriteBytes(m_strZip, bytes);
        const std::vector<std::string> before = TreeListing(m_Scratch.Dir());

        CZipArchive zip;
        EXPECT_FALSE(zip.Open(m_strZip.c_str(), CZipArchive::kModeModify));
        EXPECT_NE(0, zip.GetLastResult());
        EXPECT_FALSE(zip.AddFile("x.txt", m_strZip.c_str()));  // not left open for writing
        EXPECT_EQ(CZipArchive::kErrModeMismatch, zip.GetLastResult());

        EXPECT_EQ(bytes, ReadBytes(m_strZip));
        EXPECT_EQ(before, TreeListing(m_Scratch.Dir()));
        EXPECT_FALSE(fs::exists(m_strRoot + "evil.txt"));
        EXPECT_FALSE(fs::exists(fs::path(m_strRoot).parent_path().parent_path() / "evil.txt"));
    }
    // A tilde alone hides nothing.
    WriteBytes(m_strZip, BuildZip({{"notes~1.txt", "a"}, {"other.txt", "b"}, {"nullable.txt", "c"}}));
    CZipArchive zip;
    EXPECT_TRUE(zip.Open(m_strZip.c_str(), CZipArchive::kModeModify));
    EXPECT_TRUE(zip.Close());
}

TEST_F(ZipModify, MissingOrBrokenArchiveFailsWithoutCreatingOne)
{
    CZipArchive zip;
    EXPECT_FALSE(zip.Open(m_strZip.c_str(), CZipArchive::kModeModify));
    EXPECT_FALSE(fs::exists(m_strZip));

    WriteBytes(m_strZip, "not an archive");
    EXPECT_FALSE(zip.Open(m_strZip.c_str(), CZipArchive::kModeModify));
    EXPECT_EQ("not an archive", ReadBytes(m_strZip));

    TZipEntry bad{"bad.txt", "corrupt"};
    bad.badCrc = true;
    const std::string bytes = BuildZip({{"ok.txt", "ok"}, bad});
    WriteBytes(m_strZip, bytes);
    EXPECT_FALSE(zip.Open(m_strZip.c_str(), CZipArchive::kModeModify));
    EXPECT_EQ(105, zip.GetLastResult());
    EXPECT_EQ(bytes, ReadBytes(m_strZip));
    EXPECT_EQ((std::vector<std::string>{"out.zip"}), TreeListing(m_Scratch.Dir()));
}

}  // namespace
