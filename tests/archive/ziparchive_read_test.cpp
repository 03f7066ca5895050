#include "qxnetengine/archive/ziparchive.h"
#include "support/scratchdir.h"
#include "zipfixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kIndexXml =
    "<root><Record><ResID>1001</ResID><PackageID>ui_main</PackageID></Record>"
    "<Record><ResID>1002</ResID><PackageID>ui_main</PackageID></Record></root>";
const std::string kBinary("\x00\x01\xFF\x7F\x00PK\x03\x04 binary", 16);

class ZipRead : public ::testing::Test {
protected:
    void SetUp() override
    {
        TZipEntry deflated{"1.xml", kIndexXml + kIndexXml + kIndexXml};
        deflated.deflate = true;
        TZipEntry inFolder{"data/1.xml", "<root/>"};
        inFolder.deflate = true;
        TZipEntry badCrc{"bad_crc.txt", "content whose CRC is wrong"};
        badCrc.badCrc = true;
        TZipEntry shortItem{"short.txt", "shorter than its header says"};
        shortItem.deflate = true;
        shortItem.sizeExcess = 10;
        TZipEntry huge{"huge.bin", "tiny"};
        huge.deflate = true;
        huge.sizeExcess = CZipArchive::kMaxItemSize + 1 - 4;
        WriteBytes(m_strZip, BuildZip({deflated,
                                       {"stored.bin", kBinary},
                                       {"empty.txt", ""},
                                       inFolder,
                                       badCrc,
                                       shortItem,
                                       huge}));
    }

    CScratchDir m_Scratch{"zipread"};
    std::string m_strZip = m_Scratch.Path("pkg.zip");
};

struct TReadCase {
    const char* name;
    bool ok;
    std::string content;  // when ok
    int32_t code;         // last result when not ok
};

TEST_F(ZipRead, ItemsAreExtractedExactlyOrRefused)
{
    const TReadCase cases[] = {
        {"1.xml", true, kIndexXml + kIndexXml + kIndexXml, 0},
        {"stored.bin", true, kBinary, 0},
        {"empty.txt", true, "", 0},
        {"data\\1.xml", true, "<root/>", 0},
        {"data/1.xml", true, "<root/>", 0},
        {"missing.xml", false, "", 100},
        {"1.XML", false, "", 100},  // lookups are case-sensitive
        {"bad_crc.txt", false, "", 105},
        {"short.txt", false, "", 103},
    };
    CZipArchive zip;
    ASSERT_TRUE(zip.Open(m_strZip.c_str(), CZipArchive::kModeRead));
    for (const TReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t size = 0xDEAD;
        const bool known = zip.ReadItem(c.name, nullptr, &size);
        std::string got(known ? size : 64, '\0');
        uint32_t len = static_cast<uint32_t>(got.size());
        const bool ok = known && zip.ReadItem(c.name, &got[0], &len);
        EXPECT_EQ(c.ok, ok);
        if (c.ok) {
            EXPECT_EQ(c.content, got);
            EXPECT_EQ(0, zip.GetLastResult());
        } else {
            EXPECT_EQ(c.code, zip.GetLastResult());
        }
    }
}

// Reads go through a window of the file: items and a directory larger than
// it, and items that straddle its edges, come back exactly.
TEST_F(ZipRead, ItemsAndDirectoryLargerThanTheReadWindow)
{
    std::vector<TZipEntry> entries;
    std::string big;
    for (uint32_t i = 0; big.size() < 300 * 1024; ++i) big += static_cast<char>(i * 2654435761u >> 24);
    entries.push_back({"big.bin", big});
    TZipEntry packed{"packed.bin", big.substr(1000) + big.substr(0, 1000)};
    packed.deflate = true;
    entries.push_back(packed);
    // Enough long names that the directory spans several windows.
    for (int i = 0; i < 1500; ++i)
        entries.push_back({"folder_with_a_long_name/item_" + std::to_string(i) + std::string(40, 'x'),
                           std::string(static_cast<size_t>(i % 97), static_cast<char>('a' + i % 26))});
    const std::string zipPath = m_Scratch.Path("large.zip");
    WriteBytes(zipPath, BuildZip(entries));
    CZipArchive zip;
    ASSERT_TRUE(zip.Open(zipPath.c_str(), CZipArchive::kModeRead));
    for (size_t i = 0; i < entries.size(); i += (i < 2 ? 1 : 149)) {
        SCOPED_TRACE(entries[i].name);
        uint32_t len = 0;
        ASSERT_TRUE(zip.ReadItem(entries[i].name.c_str(), nullptr, &len));
        std::string got(len, '\0');
        ASSERT_TRUE(zip.ReadItem(entries[i].name.c_str(), got.empty() ? nullptr : &got[0], &len));
        EXPECT_EQ(entries[i].data, got.substr(0, len));
    }
}

TEST_F(ZipRead, ItemInAFolderIsNotFoundByItsBareName)
{
    const std::string zipPath = m_Scratch.Path("nested.zip");
    WriteBytes(zipPath, BuildZip({{"data/1.xml", "<root/>"}}));
    CZipArchive zip;
    ASSERT_TRUE(zip.Open(zipPath.c_str(), CZipArchive::kModeRead));
    uint32_t len = 0;
    EXPECT_FALSE(zip.ReadItem("1.xml", nullptr, &len));
}

TEST_F(ZipRead, SizeQueryAndTooSmallBuffer)
{
    CZipArchive zip;
    ASSERT_TRUE(zip.Open(m_strZip.c_str(), CZipArchive::kModeRead));
    uint32_t len = 0;
    ASSERT_TRUE(zip.ReadItem("stored.bin", nullptr, &len));
    EXPECT_EQ(kBinary.size(), len);

    std::string small(len - 1, 'x');
    uint32_t smallLen = len - 1;
    EXPECT_FALSE(zip.ReadItem("stored.bin", &small[0], &smallLen));
    EXPECT_EQ(len, smallLen);
    EXPECT_EQ(std::string(len - 1, 'x'), small);
}

TEST_F(ZipRead, OversizedItemFailsBeforeAnyAllocation)
{
    CZipArchive zip;
    ASSERT_TRUE(zip.Open(m_strZip.c_str(), CZipArchive::kModeRead));
    uint32_t len = 0;
    EXPECT_FALSE(zip.ReadItem("huge.bin", nullptr, &len));
    EXPECT_EQ(0u, len);
    EXPECT_EQ(4, zip.GetLastResult());  // insufficient memory
}

TEST_F(ZipRead, BrokenArchivesDoNotOpen)
{
    const std::string whole = ReadBytes(m_strZip);
    struct {
        const char* label;
        std::string bytes;
    } cases[] = {
        {"truncated", whole.substr(0, whole.size() - 10)},
        {"half", whole.substr(0, whole.size() / 2)},
        {"not a zip", "plain text, no archive at all"},
        {"empty", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string path = m_Scratch.Path("broken.zip");
        WriteBytes(path, c.bytes);
        CZipArchive zip;
        EXPECT_FALSE(zip.Open(path.c_str(), CZipArchive::kModeRead));
        EXPECT_GT(zip.GetLastResult(), 0);
        uint32_t len = 0;
        EXPECT_FALSE(zip.ReadItem("1.xml", nullptr, &len));
        EXPECT_EQ(CZipArchive::kErrNotOpened, zip.GetLastResult());
    }
    CZipArchive zip;
    EXPECT_FALSE(zip.Open(m_Scratch.Path("missing.zip").c_str(), CZipArchive::kModeRead));
}

TEST_F(ZipRead, ModeAndParameterErrors)
{
    CZipArchive zip;
    uint32_t len = 0;
    EXPECT_FALSE(zip.ReadItem("1.xml", nullptr, &len));
    EXPECT_EQ(CZipArchive::kErrNotOpened, zip.GetLastResult());
    EXPECT_FALSE(zip.Open(nullptr, CZipArchive::kModeRead));
    EXPECT_EQ(CZipArchive::kErrParam, zip.GetLastResult());
    EXPECT_FALSE(zip.Open(m_strZip.c_str(), 3));
    EXPECT_EQ(CZipArchive::kErrParam, zip.GetLastResult());

    ASSERT_TRUE(zip.Open(m_strZip.c_str(), CZipArchive::kModeRead));
    EXPECT_FALSE(zip.ReadItem(nullptr, nullptr, &len));
    EXPECT_EQ(CZipArchive::kErrParam, zip.GetLastResult());
    EXPECT_FALSE(zip.ReadItem("1.xml", nullptr, nullptr));
    EXPECT_EQ(CZipArchive::kErrParam, zip.GetLastResult());

    EXPECT_FALSE(zip.AddFile("a.txt", m_strZip.c_str()));
    EXPECT_EQ(CZipArchive::kErrModeMismatch, zip.GetLastResult());
    EXPECT_STREQ("read/write mode dismatch!", CZipArchive::GetErrorText(zip.GetLastResult()));
    EXPECT_FALSE(zip.AddFolderTree("", m_Scratch.Dir().c_str()));
    EXPECT_EQ(CZipArchive::kErrModeMismatch, zip.GetLastResult());

    zip.Close();
    EXPECT_FALSE(zip.ReadItem("1.xml", nullptr, &len));
    EXPECT_EQ(CZipArchive::kErrNotOpened, zip.GetLastResult());
}

TEST(ZipErrorText, ClassCodesAndLibraryCodes)
{
    EXPECT_STREQ("read/write mode dismatch!", CZipArchive::GetErrorText(-1));
    EXPECT_STREQ("file not opened!", CZipArchive::GetErrorText(-2));
    EXPECT_STREQ("param error!", CZipArchive::GetErrorText(-3));
    EXPECT_STREQ("Unknown error!", CZipArchive::GetErrorText(-4));
    EXPECT_STREQ("Unknown error!", CZipArchive::GetErrorText(-105));
    EXPECT_STREQ("CRC error", CZipArchive::GetErrorText(105));
    for (int32_t code : {0, 1, 3, 4, 100, 103, 999})
        EXPECT_STRNE("", CZipArchive::GetErrorText(code));
}

}  // namespace
