#include "resinfoserver.h"

#include "common/bytes/byteorder.h"
#include "common/msgdisp/msgdisp.h"
#include "common/msgdisp/pkgsender.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "servermodules.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>

using ResInfoInner::TVersionInfo;

namespace {

// One RetFileBuffer carries at most 255 pieces of 255 bytes.
const size_t kPieceBytes = kMaxBigStringBytes;
const unsigned int kSendBuffer = 1 << 20;
const unsigned int kRefillMs = 1;

// "<unsigned>.<signed>" and nothing else.
bool ParsePackageName(const std::string& name, TVersionInfo* info)
{
    size_t dot = name.find('.');
    if (dot == 0 || dot == std::string::npos || dot + 1 == name.size())
        return false;
    std::string v = name.substr(0, dot), s = name.substr(dot + 1);
    if (v.find_first_not_of("0123456789") != std::string::npos || v.size() > 10 ||
        s.find_first_not_of("-0123456789", 0) != std::string::npos ||
        s.find('-', 1) != std::string::npos || s == "-" || s.size() > 11)
        return false;
    unsigned long long version = strtoull(v.c_str(), nullptr, 10);
    long long sub = strtoll(s.c_str(), nullptr, 10);
    if (version > 0xFFFFFFFFull || sub < INT32_MIN || sub > INT32_MAX)
        return false;
    info->Version = static_cast<uint32_t>(version);
    info->SubNo = static_cast<int32_t>(sub);
    return true;
}

class CResInfoConn : public CRefConn, public CResInfoInnerSvr {
public:
    explicit CResInfoConn(CRefResInfoServer* server)
        : CRefConn("resinfo", kSendBuffer), m_pServer(server)
    {
        m_Disp.RegisterHandler(this);
        m_Sender.SetSocket(this);
        SetSender(&m_Sender);
    }
    ~CResInfoConn() override { m_Sender.SetSocket(nullptr); }

    // A package out, in a frame: the bytes that follow, a token, the package.
    void Send(const char* data, unsigned int len) override
    {
        if (!data || len == 0)
            return;
        // Built in storage kept from the last one: files go out as hundreds
        // of 64 KiB frames.
        m_strFrame.assign(8, '\0');
        WriteU32LE(&m_strFrame[0], len + 4);
        WriteU32LE(&m_strFrame[4], ++m_nToken);
        m_strFrame.append(data, len);
        Out(m_strFrame.data(), m_strFrame.size());
    }

private:
    void OnInput() override
    {
        while (!Dropped() && m_strIn.size() >= 4) {
            uint32_t total = ReadU32LE(m_strIn.data());
            if (total < 12 || total > CMsgDisp::kMaxBody + 8) {
                Drop("frame of impossible length");
                return;
            }
            if (m_strIn.size() - 4 < total)
                return;
            std::string pkg = m_strIn.substr(8, total - 4);
            m_strIn.erase(0, 4 + static_cast<size_t>(total));
            if (!m_Disp.DispatchPkg(pkg.data(), static_cast<unsigned int>(pkg.size()))) {
                Drop(m_Disp.GetErrorCode() == CMsgDisp::kNoHandler
                         ? "message of another module"
                         : "malformed or refused message");
                return;
            }
        }
    }

    void OnRecv_GetVersionList(const uint32_t& version) override
    {
        std::vector<qxplat::TDirEntry> entries;
        ResInfoInner::TVecVersionInfo list;
        qxplat::ListDir(m_pServer->Dir(), &entries);
        for (const qxplat::TDirEntry& e : entries) {
            TVersionInfo info;
            if (!e.isDir && ParsePackageName(e.name, &info) && info.Version > version)
                list.push_back(info);
        }
        std::sort(list.begin(), list.end(), [](const TVersionInfo& a, const TVersionInfo& b) {
            return a.Version != b.Version ? a.Version < b.Version : a.SubNo < b.SubNo;
        });
        if (list.size() > kMaxCount)
            list.resize(kMaxCount);  // the rest comes with the next update
        std::string names;
        for (const TVersionInfo& i : list)
            names += " " + std::to_string(i.Version) + "." + std::to_string(i.SubNo);
        Log("recv GetVersionList (301/1) version %u; send RetVersionList of %u file(s):%s", version,
            static_cast<unsigned>(list.size()), names.c_str());
        RetVersionList(list);
    }

    void OnRecv_GetFile(const TVersionInfo& file, const uint32_t& offset,
                        const uint32_t& getLen) override
    {
        std::string name = std::to_string(file.Version) + "." + std::to_string(file.SubNo);
        // Read as it is sent, a piece at a time: the first piece leaves at
        // once and the reading overlaps the client's writing.
        m_File.close();
        m_File.clear();
        m_File.open(m_pServer->Dir() + name, std::ios::binary);
        if (!m_File) {
            Log("recv GetFile (301/2) %s: no such package", name.c_str());
            throw 1;  // refused: the connection closes
        }
        m_File.seekg(0, std::ios::end);
        const std::streamoff fileSize = m_File.tellg();
        if (fileSize < 0 || fileSize > 0xFFFFFFFF || offset > fileSize) {
            Log("recv GetFile (301/2) %s from %u: past its end", name.c_str(), offset);
            throw 1;
        }
        m_File.seekg(offset);
        m_strRead.clear();
        m_nReadAt = 0;
        uint32_t size = static_cast<uint32_t>(fileSize), left = size - offset;
        m_nPos = offset;
        m_nEnd = offset + std::min(left, getLen);
        Log("recv GetFile (301/2) %s offset %u length %u; send RetFileInfo size %u, %u left",
            name.c_str(), offset, getLen, size, left);
        ResInfoInner::TFileInfo info;
        info.FileSize = size;
        RetFileInfo(info, left);
        m_strName = name;
        // A piece is larger than one segment: without this its short tail
        // waits for the client's delayed acknowledgement (40 ms on Linux).
        qxplat::SockSetNoDelay(GetHandle());
        SendPieces();
    }

    // RetFileBuffer in a frame built straight from the piece: as the
    // message and package senders would build it, with one copy of the
    // bytes instead of three, so the server keeps pace with a client that
    // writes files at memory speed.
    void SendFileBuffer(const TBigStringRef& piece)
    {
        const size_t parts = (piece.size + kMaxCount - 1) / kMaxCount;
        const size_t body = 4 + 1 + parts + piece.size;  // ids, count, lengths, bytes
        m_strFrame.resize(12 + body);
        char* p = &m_strFrame[0];
        WriteU32LE(p, static_cast<uint32_t>(body + 8));
        WriteU32LE(p + 4, ++m_nToken);
        WriteU32LE(p + 8, static_cast<uint32_t>(body));
        WriteU16LE(p + 12, ResInfoInner::CResInfoInner::kModuleId);
        WriteU16LE(p + 14, ResInfoInner::CResInfoInner::kRetFileBuffer);
        p += 16;
        *p++ = static_cast<char>(parts);
        for (size_t at = 0; at < piece.size; at += kMaxCount) {
            const size_t n = std::min<size_t>(kMaxCount, piece.size - at);
            *p++ = static_cast<char>(n);
            memcpy(p, piece.data + at, n);
            p += n;
        }
        Out(m_strFrame.data(), m_strFrame.size());
    }

    // The next n bytes of the file, or null (and the connection dropped)
    // when the file no longer holds them. The file is read four pieces at a
    // time: a file system serves large reads markedly faster.
    const char* ReadPiece(size_t n)
    {
        if (m_strRead.size() - m_nReadAt < n) {
            m_strRead.erase(0, m_nReadAt);
            m_nReadAt = 0;
            const size_t held = m_strRead.size();
            const size_t ahead = std::min(4 * kPieceBytes, m_nEnd - m_nPos);
            const size_t want = std::max(n, ahead) - held;
            m_strRead.resize(held + want);
            if (!m_File.read(&m_strRead[held], static_cast<std::streamsize>(want))) {
                Drop("the package cannot be read");
                return nullptr;
            }
        }
        const char* piece = m_strRead.data() + m_nReadAt;
        m_nReadAt += n;
        return piece;
    }

    // As much of the file as the send buffer takes; the rest after it drains.
    void SendPieces()
    {
        if (m_nFault && m_nPos < m_nEnd) {
            Fault("closing in the middle of a file");
            size_t half = std::max<size_t>(1, std::min(kPieceBytes, m_nEnd - m_nPos) / 2);
            if (const char* piece = ReadPiece(half))
                RetFileBuffer(TBigStringRef{piece, half});
            Drop("fault");
            return;
        }
        while (m_nPos < m_nEnd && Room() > kPieceBytes + 2048) {
            size_t n = std::min(kPieceBytes, m_nEnd - m_nPos);
            const char* piece = ReadPiece(n);
            if (!piece)
                return;
            const TBigStringRef pieces = {piece, n};
            m_nPos += n;
            Log("send RetFileBuffer (301/3) of %s: %u bytes, %u of %u", m_strName.c_str(),
                static_cast<unsigned>(n), static_cast<unsigned>(m_nPos),
                static_cast<unsigned>(m_nEnd));
            SendFileBuffer(pieces);
            // Each piece leaves at once, also while the request that asked
            // for the file is still being answered: the client starts
            // writing while the next piece is read.
            FlushOut();
        }
        if (m_nPos < m_nEnd)
            SetWatchdog(kRefillMs);
    }
    // The next pieces go as soon as the network has taken the last ones;
    // the watchdog covers a write notification that finds the buffer still
    // too full.
    void OnSendRoom() override
    {
        if (!Dropped())
            SendPieces();
    }
    void OnWatchdog() override
    {
        if (!Dropped())
            SendPieces();
    }

    CRefResInfoServer* m_pServer;
    CMsgDisp m_Disp;
    CPkgSender m_Sender;
    uint32_t m_nToken = 0;
    std::ifstream m_File;
    std::string m_strRead, m_strName, m_strFrame;
    size_t m_nReadAt = 0;  // where the next piece starts in m_strRead
    size_t m_nPos = 0, m_nEnd = 0;
};

}  // namespace

CRefResInfoServer::CRefResInfoServer(const std::string& packageDir)
    : m_strDir(packageDir), m_Listener("resinfo", [this] { return new CResInfoConn(this); })
{
    if (!m_strDir.empty() && m_strDir.back() != qxplat::kPathSep)
        m_strDir += qxplat::kPathSep;
}

bool CRefResInfoServer::Start(unsigned short port) { return m_Listener.Start(port); }
