#include "packages.h"

#include "platform/files.h"
#include "platform/paths.h"
#include "qxnetengine/archive/tempdir.h"
#include "qxnetengine/archive/ziparchive.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

struct TPackage {
    std::string name;  // VERSION.SUBNO
    std::string xml;
    int records = 0;
};

std::string Escaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

bool Fail(const std::string& where, const std::string& why)
{
    fprintf(stderr, "qxmkpackages: %s: %s\n", where.c_str(), why.c_str());
    return false;
}

bool Parse(const char* path, std::vector<TPackage>* packages)
{
    std::ifstream in(path);
    if (!in)
        return Fail(path, "cannot read");
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        std::string where = std::string(path) + ":" + std::to_string(n);
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string word;
        if (!(words >> word))
            continue;
        if (word == "package") {
            unsigned long version;
            long sub;
            if (!(words >> version >> sub) || version > 0xFFFFFFFFul)
                return Fail(where, "expected: package VERSION SUBNO");
            packages->push_back({std::to_string(version) + "." + std::to_string(sub), "", 0});
        } else if (word == "record") {
            std::string resId, packageId, pair, attrs;
            if (packages->empty() || !(words >> resId >> packageId))
                return Fail(where, "expected: record RESID PACKAGEID after a package line");
            while (words >> pair) {
                size_t eq = pair.find('=');
                if (eq == 0 || eq == std::string::npos)
                    return Fail(where, "attributes are NAME=VALUE");
                attrs += " " + pair.substr(0, eq) + "=\"" + Escaped(pair.substr(eq + 1)) + "\"";
            }
            TPackage& p = packages->back();
            p.xml += "<Record" + attrs + "><ResID>" + Escaped(resId) + "</ResID><PackageID>" +
                     Escaped(packageId) + "</PackageID></Record>\n";
            ++p.records;
        } else {
            return Fail(where, "unknown statement " + word);
        }
    }
    return true;
}

bool Write(const TPackage& p, const std::string& outDir, bool verbose)
{
    CTempDir temp;
    if (!temp.GetPath())
        return Fail(CTempDir::GetRootDir(), "cannot make a temporary directory");
    std::string index = std::string(temp.GetPath()) + "1.xml";
    {
        std::ofstream xml(index, std::ios::binary);
        xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n" << p.xml << "</root>\n";
        if (!xml)
            return Fail(index, "cannot write");
    }
    std::string target = outDir + p.name;
    CZipArchive zip;
    if (!zip.Open(target.c_str(), 2) || !zip.AddFile("1.xml", index.c_str()) || !zip.Close())
        return Fail(target, "cannot write the archive");
    if (verbose)
        printf("%s: %d record(s)\n", target.c_str(), p.records);
    return true;
}

}  // namespace

bool BuildPackages(const char* description, const std::string& outDir, bool verbose)
{
    std::vector<TPackage> packages;
    if (!Parse(description, &packages))
        return false;
    std::string dir = outDir;
    if (dir.empty() || (dir.back() != '/' && dir.back() != qxplat::kPathSep))
        dir += qxplat::kPathSep;
    qxplat::CreateDir(dir);
    for (const TPackage& p : packages)
        if (!Write(p, dir, verbose))
            return false;
    return true;
}
