// Writes the seed inputs kept beside the harnesses (fuzz/<folder>/<name>.seeds):
// the messages the tests exchange, laid out as each harness reads its input.
// Run it again after a message format changes:
//   fuzz_makeseeds <source>/fuzz [key routine .bin files of the keyroutine tests]
#include "common/bytes/byteorder.h"
#include "common/dataencryption/dataencryption.h"
#include "common/protocols/resinfodisp.h"
#include "common/protocols/resinfoinner.h"
#include "common/serialization/bufferwriter.h"
#include "platform/files.h"
#include "qxnetengine/archive/tempdir.h"
#include "qxnetengine/archive/ziparchive.h"
#include "support/fuzzstream.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string g_strRoot;

void Seed(const std::string& harness, const std::string& name, const std::string& bytes)
{
    std::string dir = g_strRoot + "/" + harness + ".seeds";
    qxplat::CreateDir(dir);
    std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

template <typename... T>
std::string Body(uint16_t moduleId, uint16_t msgId, const T&... fields)
{
    std::string body;
    CBufferWriter w(&body);
    w << moduleId << msgId;
    (void)(w << ... << fields);
    return body;
}

std::string Pkg(const std::string& body)
{
    std::string p(4, '\0');
    WriteU32LE(&p[0], static_cast<uint32_t>(body.size()));
    return p + body;
}

TFuzzRecord Rec(uint8_t kind, const std::string& data)
{
    TFuzzRecord r;
    r.kind = kind;
    r.data = data;
    return r;
}

std::string Stream(uint16_t cutSeed, const std::vector<TFuzzRecord>& records)
{
    TFuzzStream s;
    s.cutSeed = cutSeed;
    s.records = records;
    return WriteFuzzStream(s);
}

TBigString Big(const std::string& text)
{
    TBigString big;
    CoverString2TBigString(text, big);
    return big;
}

const char kIndexXml[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root><Record a=\"1\"><ResID>1001</ResID>"
    "<PackageID>ui_main</PackageID><More x=\"y\">z</More></Record>"
    "<Record><ResID>-1</ResID><PackageID>p</PackageID></Record></root>";

// A package file as the resource server sends it: an archive holding 1.xml.
std::string PackageZip(const std::string& scratch, const std::string& xml, bool withFolder)
{
    std::string xmlFile = scratch + "/1.xml", zipFile = scratch + "/pkg.zip";
    std::ofstream(xmlFile, std::ios::binary) << xml;
    CZipArchive zip;
    zip.Open(zipFile.c_str(), CZipArchive::kModeCreate);
    zip.AddFile("1.xml", xmlFile.c_str());
    if (withFolder)
        zip.AddFile("res/a.txt", xmlFile.c_str());
    zip.Close();
    return ReadFile(zipFile);
}

void MsgDispSeeds()
{
    Seed("msgdisp/msgdisp", "accepted", Pkg(Body(1, 7, uint32_t(5))));
    Seed("msgdisp/msgdisp", "refused", Pkg(Body(2, 1)));
    Seed("msgdisp/msgdisp", "module0", Pkg(Body(0, 0)));
    Seed("msgdisp/msgdisp", "nohandler", Pkg(Body(7, 1, uint8_t(9))));
    Seed("msgdisp/msgdisp", "short", std::string("\x01\x00\x00", 3));
}

void GameClientSeeds()
{
    const std::string m1 = Body(1, 1, uint32_t(42)), m2 = Body(2, 1), m3 = Body(3, 1),
                      m7 = Body(7, 2, uint16_t(3));
    Seed("gameclient/gameclient", "frames", Stream(0, {Rec(1, m1), Rec(1, m7), Rec(1, m2)}));
    Seed("gameclient/gameclient", "split", Stream(0x1234, {Rec(1, m1), Rec(2, m1), Rec(1, m1)}));
    Seed("gameclient/gameclient", "release", Stream(0x0101, {Rec(1, m1), Rec(1, m3), Rec(1, m1)}));
    // A frame whose package prefix claims more than 0xFFFF bytes.
    std::string bad(12, '\0');
    WriteU32LE(&bad[0], 8);
    WriteU32LE(&bad[4], 0x01020304);
    WriteU32LE(&bad[8], 0x10000);
    Seed("gameclient/gameclient", "badpkg", Stream(0x00FF, {Rec(1, m1), Rec(0, bad)}));
}

// A handshake reply as the tests' gate server builds it.
std::string Reply(uint32_t kind, uint32_t gateId, const std::string& routine, size_t bodyLen = 554)
{
    const unsigned char skip = 3, param = 0x5A;
    std::string body(bodyLen, '\x90');
    WriteU32LE(&body[0], kind);
    WriteU32LE(&body[4], gateId);
    body[8] = static_cast<char>(skip);
    body[9 + skip] = static_cast<char>(param);
    for (int i = 0; i < 16; ++i) body[10 + skip + i] = static_cast<char>(0x10 * i);
    body.replace(26 + skip, routine.size(), routine);
    std::string head(12, '\0');
    WriteU16LE(&head[0], static_cast<uint16_t>(bodyLen));
    WriteU16LE(&head[2], 50);
    head.replace(4, 8, "etaG1010");
    return head + body;
}

const std::string kXorParamRoutine(
    "\x8B\x4C\x24\x04\x8A\x44\x24\x08\x31\xD2\x30\x04\x11\x42\x83\xFA\x10\x75\xF7\xC3", 20);

void GateSeeds(const std::vector<std::string>& routines)
{
    ResInfoDisp::TIPv4Addr addr;
    addr.Octets[0] = 127;
    addr.Octets[3] = 1;
    const std::string toGame = Pkg(Body(1, 3, uint32_t(77)));
    const std::string resInfoAddr = Pkg(Body(302, 1, addr, uint16_t(4570), TVecChar{'t', 'k'}));
    const char* g = "gameclient/gatesvrsocket";
    Seed(g, "key-routine",
         Stream(0, {Rec(1, Reply(1, 9, kXorParamRoutine)), Rec(2, toGame), Rec(2, resInfoAddr)}));
    Seed(g, "key-routine-pieces",
         Stream(0x2222, {Rec(1, Reply(1, 9, kXorParamRoutine)), Rec(2, toGame)}));
    Seed(g, "accepted-without-key", Stream(0x0505, {Rec(1, Reply(2, 3, "")), Rec(2, toGame)}));
    Seed(g, "refused", Stream(0, {Rec(1, Reply(0, 3, ""))}));
    Seed(g, "short-reply", Stream(0, {Rec(1, Reply(1, 3, kXorParamRoutine, 553))}));
    Seed(g, "garbage-frame", Stream(0, {Rec(1, Reply(2, 3, "")), Rec(3, "not encrypted")}));
    for (size_t i = 0; i < routines.size(); ++i)
        if (routines[i].size() <= 554 - 29)
            Seed(g, "compiled-routine-" + std::to_string(i),
                 Stream(0, {Rec(1, Reply(1, 9, routines[i])), Rec(2, toGame)}));
}

void InnerConnSeeds(const std::string& scratch)
{
    using namespace ResInfoInner;
    const std::string zip = PackageZip(scratch, kIndexXml, false);
    auto fileRecords = [&](const std::string& file, size_t piece) {
        std::vector<TFuzzRecord> r;
        r.push_back(Rec(1, Body(301, 2, TFileInfo{static_cast<uint32_t>(file.size())},
                                static_cast<uint32_t>(file.size()))));
        for (size_t at = 0; at < file.size(); at += piece)
            r.push_back(Rec(1, Body(301, 3, Big(file.substr(at, piece)))));
        return r;
    };
    const char* h = "resinfovermgr/resinfoinnerconn";

    std::vector<TFuzzRecord> one = {Rec(1, Body(301, 1, TVecVersionInfo{{12, 3}}))};
    for (const TFuzzRecord& r : fileRecords(zip, 4000)) one.push_back(r);
    Seed(h, "update", Stream(0, one));
    one[0].data = Body(301, 1, TVecVersionInfo{{0xEE, 1}});  // the game releases the engine
    Seed(h, "update-release", Stream(0x3131, one));

    std::vector<TFuzzRecord> two = {Rec(1, Body(301, 1, TVecVersionInfo{{5, 1}, {5, 2}}))};
    for (const TFuzzRecord& r : fileRecords(zip, 300)) two.push_back(r);
    for (const TFuzzRecord& r : fileRecords(PackageZip(scratch, "<root/>", true), 1000))
        two.push_back(r);
    Seed(h, "two-files", Stream(0x0777, two));

    Seed(h, "empty-list", Stream(0, {Rec(1, Body(301, 1, TVecVersionInfo{}))}));
    Seed(h, "too-much",
         Stream(0, {Rec(1, Body(301, 1, TVecVersionInfo{{1, 1}})),
                    Rec(1, Body(301, 2, TFileInfo{3}, uint32_t(3))),
                    Rec(1, Body(301, 3, Big("abcdef")))}));
    Seed(h, "foreign-module", Stream(0, {Rec(1, Body(300, 1, uint32_t(1)))}));
}

void DispReplySeeds()
{
    auto reply = [](uint32_t type, size_t len) {
        std::string r(len, '\0');
        WriteU32LE(&r[0], type);
        WriteU32LE(&r[4], 0x44697370);
        return r;
    };
    std::string gate = reply(34, 84);
    const unsigned char lead[4] = {0x01, 0x02, 0x03, 0x04};  // record at offset 46
    for (int i = 0; i < 4; ++i) gate[16 + i] = static_cast<char>(lead[i]);
    gate.replace(46, 7, std::string("\x7F\x00\x00\x01\x00\xB9\x11", 7));
    Seed("netengine/dispretpkg", "gate-address", gate);
    std::string notice = reply(35, 24);
    WriteU32LE(&notice[16], 3);
    WriteU32LE(&notice[20], 0xFFFFFFFE);
    Seed("netengine/dispretpkg", "notice", notice);
    Seed("netengine/dispretpkg", "too-old", reply(36, 24));
}

void ProtocolSeeds()
{
    using namespace ResInfoInner;
    ResInfoDisp::TIPv4Addr addr;
    addr.Octets[0] = 10;
    const char* p = "protocols/protocols";
    Seed(p, "get-versions", Body(300, 1, uint32_t(5)));
    Seed(p, "version-list", Body(301, 1, TVecVersionInfo{{1, 0}, {1, 1}, {2, -1}}));
    Seed(p, "file-info", Body(301, 2, TFileInfo{300}, uint32_t(300)));
    Seed(p, "file-buffer", Body(301, 3, Big(std::string(300, 'x'))));
    Seed(p, "server-address", Body(302, 1, addr, uint16_t(80), TVecChar{'a', 'b', 'c'}));
}

void BufferReaderSeeds()
{
    // Count, selectors, then the values in that order.
    std::string all;
    CBufferWriter w(&all);
    w << uint8_t(1) << uint16_t(2) << uint32_t(3) << int32_t(-4) << TVecChar{'a'} << TVecInt8{-1}
      << TVecUInt8{2} << TVecInt16{-3} << TVecUInt16{4} << TVecInt32{-5} << TVecUInt32{6}
      << TVecInt64{-7} << TVecUInt64{8} << Big(std::string(300, 'b'))
      << ResInfoInner::TVersionInfo{9, -9} << ResInfoInner::TVecVersionInfo{{1, 2}}
      << ResInfoInner::TFileInfo{10} << ResInfoDisp::TIPv4Addr() << Big(std::string(300, 'j'));
    std::string every(1, '\x13');
    for (int i = 0; i < 19; ++i) every += static_cast<char>(i);
    Seed("serialization/bufferreader", "every-type", every + all);
    Seed("serialization/bufferreader", "short-vector", std::string("\x01\x0A\x05\x01\x00", 5));
}

void EncryptionSeeds()
{
    unsigned char key[32];
    for (int i = 0; i < 32; ++i) key[i] = static_cast<unsigned char>(i * 7);
    CDataEncryption crypto;
    crypto.SetKey(key, 32);
    const std::string head = std::string(1, '\x02') + std::string(reinterpret_cast<char*>(key), 32);
    Seed("dataencryption/dataencryption", "package", head + Pkg(Body(1, 3, uint32_t(77))));
    Seed("dataencryption/dataencryption", "cipher",
         head + crypto.Encrypt(Pkg(Body(302, 1, uint32_t(1), uint16_t(2)))));
    Seed("dataencryption/dataencryption", "key16", std::string(1, '\x00') + head.substr(1) + "abc");
}

void IndexSeeds()
{
    Seed("resinfovermgr/indexxml", "index", kIndexXml);
    Seed("resinfovermgr/indexxml", "cdata-comment",
         "<root><!-- c --><Record><ResID><![CDATA[7]]></ResID><PackageID>a&amp;b</PackageID>"
         "</Record></root>");
    Seed("resinfovermgr/indexxml", "missing-package",
         "<root><Record><ResID>1</ResID></Record></root>");
    // A UTF-8 sequence cut short by the end of a text as long as TinyXML's
    // own copy: a reader that steps over it leaves that copy.
    Seed("resinfovermgr/indexxml", "utf8-cut-at-end",
         "\xEF\xBB\xBF<a>" + std::string(7993, 'x') + "\xEF");
}

void ArchiveSeeds(const std::string& scratch)
{
    Seed("archive/ziparchive", "package", PackageZip(scratch, kIndexXml, false));
    Seed("archive/ziparchive", "with-folder", PackageZip(scratch, "<root/>", true));
    Seed("archive/ziparchive", "empty", std::string("PK\x05\x06", 4) + std::string(18, '\0'));
}

void KeyRoutineSeeds(const std::vector<std::string>& routines)
{
    // Param, entry and block offsets into the whole input, then the code.
    auto input = [](unsigned char param, unsigned char entry, unsigned char block,
                    const std::string& code) {
        return std::string{static_cast<char>(param), static_cast<char>(entry),
                           static_cast<char>(block)} +
               code;
    };
    const char* k = "keyroutine/keyroutine";
    Seed(k, "xor-param", input(0x5A, 3, 0, kXorParamRoutine));
    // Block in front of the code, found from the routine's own position.
    const std::string selfRelative(
        "\xE8\x00\x00\x00\x00\x58\x31\xD2\x80\x74\x10\xEB\x5A\x42\x83\xFA\x10\x75\xF5\xC3", 20);
    Seed(k, "self-relative", input(0, 19, 3, std::string(16, '\x33') + selfRelative));
    for (size_t i = 0; i < routines.size(); ++i)
        Seed(k, "compiled-" + std::to_string(i),
             input(static_cast<unsigned char>(i), 3, 0, routines[i]));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <source>/fuzz [routine.bin ...]\n", argv[0]);
        return 2;
    }
    g_strRoot = argv[1];
    std::vector<std::string> routines;
    for (int i = 2; i < argc; ++i) routines.push_back(ReadFile(argv[i]));
    std::string scratch = qxplat::TempDir() + "qxfuzz-seeds";
    qxplat::CreateDir(scratch);

    MsgDispSeeds();
    GameClientSeeds();
    GateSeeds(routines);
    InnerConnSeeds(scratch);
    DispReplySeeds();
    ProtocolSeeds();
    BufferReaderSeeds();
    EncryptionSeeds();
    IndexSeeds();
    ArchiveSeeds(scratch);
    KeyRoutineSeeds(routines);
    DeleteDirTree(scratch.c_str());
    return 0;
}
