// Proves that each third-party library links and works on this target.
#include <gtest/gtest.h>
#include <minizip/unzip.h>
#include <minizip/zip.h>
#include <tinyxml.h>
#include <boost/bind/bind.hpp>
#include <boost/function.hpp>

#include <cstdio>
#include <string>
#include <vector>

namespace {

TEST(Deps, TinyXmlParses)
{
    TiXmlDocument doc;
    doc.Parse("<Root><Record id=\"7\">text</Record></Root>");
    ASSERT_FALSE(doc.Error());
    TiXmlElement* rec = doc.RootElement()->FirstChildElement("Record");
    ASSERT_NE(nullptr, rec);
    EXPECT_STREQ("7", rec->Attribute("id"));
    TiXmlPrinter printer;
    rec->Accept(&printer);
    EXPECT_NE(std::string::npos, printer.Str().find("text"));
}

TEST(Deps, MinizipListsAZipMadeOnTheFly)
{
    const char* path = "deps_smoke.zip";
    zipFile zf = zipOpen(path, APPEND_STATUS_CREATE);
    ASSERT_NE(nullptr, zf);
    const char* items[] = {"1.xml", "dir/b.txt"};
    for (const char* name : items) {
        zip_fileinfo info = {};
        ASSERT_EQ(ZIP_OK, zipOpenNewFileInZip(zf, name, &info, nullptr, 0, nullptr, 0, nullptr,
                                              Z_DEFLATED, Z_DEFAULT_COMPRESSION));
        ASSERT_EQ(ZIP_OK, zipWriteInFileInZip(zf, name, 5));
        zipCloseFileInZip(zf);
    }
    ASSERT_EQ(ZIP_OK, zipClose(zf, nullptr));

    unzFile uf = unzOpen(path);
    ASSERT_NE(nullptr, uf);
    std::vector<std::string> names;
    for (int rc = unzGoToFirstFile(uf); rc == UNZ_OK; rc = unzGoToNextFile(uf)) {
        char name[256];
        unz_file_info info;
        ASSERT_EQ(UNZ_OK,
                  unzGetCurrentFileInfo(uf, &info, name, sizeof name, nullptr, 0, nullptr, 0));
        EXPECT_EQ(5u, info.uncompressed_size);
        names.push_back(name);
    }
    unzClose(uf);
    std::remove(path);
    EXPECT_EQ((std::vector<std::string>{"1.xml", "dir/b.txt"}), names);
}

struct CAdder {
    int m_nTotal = 0;
    void Add(unsigned int a, long b) { m_nTotal += static_cast<int>(a) + static_cast<int>(b); }
};

TEST(Deps, BoostFunctionFromBind)
{
    using namespace boost::placeholders;
    CAdder adder;
    boost::function<void(unsigned int, long)> f = boost::bind(&CAdder::Add, &adder, _1, _2);
    f(3, 4);
    EXPECT_EQ(7, adder.m_nTotal);
}

}  // namespace
