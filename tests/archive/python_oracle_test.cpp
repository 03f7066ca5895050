// Python's zipfile as an independent reader and writer (native build only).
#include "qxnetengine/archive/ziparchive.h"
#include "support/scratchdir.h"
#include "zipfixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

#ifdef QX_PYTHON3
// Runs a script with the scratch directory as its argument; true on exit 0.
bool RunPython(const CScratchDir& scratch, const std::string& script)
{
    const std::string path = scratch.Path("oracle.py");
    WriteBytes(path, script);
    const std::string cmd =
        std::string("\"") + QX_PYTHON3 + "\" \"" + path + "\" \"" + scratch.Dir() + "\"";
    return std::system(cmd.c_str()) == 0;
}
#endif

TEST(ZipOracle, PythonReadsWhatWeWrite)
{
#ifndef QX_PYTHON3
    GTEST_SKIP() << "python3 is not available";
#else
    CScratchDir scratch("zip-oracle-w");
    const std::string big(100000, 'z');
    WriteBytes(scratch.Path("a.txt"), "alpha");
    WriteBytes(scratch.Path("big.txt"), big);
    CZipArchive zip;
    ASSERT_TRUE(zip.Open(scratch.Path("ours.zip").c_str(), CZipArchive::kModeCreate));
    ASSERT_TRUE(zip.AddFile("a.txt", scratch.Path("a.txt").c_str()));
    ASSERT_TRUE(zip.AddFile("dir\\big.txt", scratch.Path("big.txt").c_str()));
    ASSERT_TRUE(zip.Close());

    ASSERT_TRUE(RunPython(scratch, R"(
import sys, zipfile, os
d = sys.argv[1]
with zipfile.ZipFile(os.path.join(d, "ours.zip")) as z:
    assert z.testzip() is None
    with open(os.path.join(d, "listing.txt"), "w") as out:
        for i in z.infolist():
            out.write("%s %d %d\n" % (i.filename, i.compress_type, len(z.read(i))))
)"));
    EXPECT_EQ("a.txt 8 5\ndir/big.txt 8 100000\n", ReadBytes(scratch.Path("listing.txt")));
#endif
}

TEST(ZipOracle, WeReadWhatPythonWrites)
{
#ifndef QX_PYTHON3
    GTEST_SKIP() << "python3 is not available";
#else
    CScratchDir scratch("zip-oracle-r");
    ASSERT_TRUE(RunPython(scratch, R"(
import sys, zipfile, os
d = sys.argv[1]
with zipfile.ZipFile(os.path.join(d, "theirs.zip"), "w") as z:
    z.writestr("1.xml", "<root>" + "<Record/>" * 500 + "</root>", zipfile.ZIP_DEFLATED)
    z.writestr("data/raw.bin", bytes(range(256)), zipfile.ZIP_STORED)
)"));
    CZipArchive zip;
    ASSERT_TRUE(zip.Open(scratch.Path("theirs.zip").c_str(), CZipArchive::kModeRead));
    std::string want = "<root>";
    for (int i = 0; i < 500; ++i) want += "<Record/>";
    want += "</root>";
    std::string raw;
    for (int i = 0; i < 256; ++i) raw += static_cast<char>(i);
    for (const auto& item : {std::make_pair("1.xml", want), std::make_pair("data\\raw.bin", raw)}) {
        SCOPED_TRACE(item.first);
        uint32_t len = 0;
        ASSERT_TRUE(zip.ReadItem(item.first, nullptr, &len));
        std::string got(len, '\0');
        ASSERT_TRUE(zip.ReadItem(item.first, &got[0], &len));
        EXPECT_EQ(item.second, got);
    }
#endif
}

}  // namespace
