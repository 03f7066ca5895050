#include "qxnetengine/resinfovermgr/resinfoinnerconn.h"

#include "common/bytes/byteorder.h"
#include "common/serialization/basictypes.h"
#include "qxnetengine/log/logfile.h"
#include "qxnetengine/resinfovermgr/resinfovermgr.h"
#include "qxnetengine/resinfovermgr/updatesession.h"

#include <atomic>

using namespace ResInfoInner;

namespace {

std::atomic<uint32_t> g_nSeq{0};

// Ends the download from inside a callback: the decoder turns it into a
// refused message, and the connection closes.
[[noreturn]] void Abort() { throw 1; }

}  // namespace

bool CSeqSender::Send(const char* data, unsigned int len)
{
    CMsgSocket* socket = m_pSocket;
    if (!socket || !socket->IsConnected() || len > 0xFFFFFFFFu - 12)
        return false;
    uint32_t seq = ++g_nSeq;
    if (seq == 0)
        seq = ++g_nSeq;
    CPkgBufferLease lease(m_Buffer, m_bBuilding);
    CPkgBufferBase& frame = lease.Get();
    frame.Reset();
    if (!frame.Reserve(len + 12) || !frame.AppendU32LE(len + 8) || !frame.AppendU32LE(seq) ||
        !frame.AppendU32LE(len) || !frame.Append(data, len))
        return false;
    socket->EnterCall();
    socket->Send(frame.GetData(), frame.GetLength());
    socket->LeaveCall();
    return true;
}

CMsgSocket* CSeqSender::SetSocket(CMsgSocket* socket)
{
    CMsgSocket* old = m_pSocket;
    m_pSocket = socket;
    return old;
}

void CResInfoInnerDrv::RequestNext()
{
    TVersionInfo file;
    uint32_t offset = 0, getLen = 0;
    if (CResInfoVerMgr::Instance().GetNextRequest(&file, &offset, &getLen, m_pOwner->Reporter())) {
        GetFile(file, offset, getLen);
        m_pOwner->AwaitReply();
        CResInfoVerMgr::Instance().ReadIndexAhead();
        return;
    }
    m_pOwner->m_bFinished = true;
    throw TRecvEndedOnPurpose();
}

void CResInfoInnerDrv::OnRecv_RetVersionList(const TVecVersionInfo& versionList)
{
    if (!CResInfoVerMgr::Instance().SetVersionList(versionList)) {
        GetLog("NetLog").Write(
            2, "[%s] CResInfoVerMgr::Instance().SetVersionList(versionList) failed.",
            "CResInfoInnerDrv::OnRecv_RetVersionList");
        Abort();
    }
    RequestNext();
}

void CResInfoInnerDrv::OnRecv_RetFileInfo(const TFileInfo& fileInfo, const uint32_t& leftLength)
{
    if (!CResInfoVerMgr::Instance().SetCurFileInfo(fileInfo, leftLength))
        GetLog("NetLog").Write(
            2, "[%s] CResInfoVerMgr::Instance().SetCurFileInfo(fileInfo, leftLength) failed.",
            "CResInfoInnerDrv::OnRecv_RetFileInfo");
}

bool CResInfoInnerDrv::OnMsg(const char* body, unsigned int len)
{
    // A package comes as hundreds of RetFileBuffer messages: their pieces
    // are joined straight from the message onto the file's gathered bytes
    // (or, with no file open, into kept storage) instead of being built one
    // by one. Only the file store reads that storage, before anything can
    // call the game and so dispatch another message.
    if (m_pOwner->IsDetached())
        return false;  // its update has ended
    uint16_t msgId = 0;
    if (!ReadMsgId(body, len, &msgId) || msgId != kRetFileBuffer)
        return CResInfoInner::OnMsg(body, len);
    std::string* gathered = CResInfoVerMgr::Instance().PendingContent();
    if (!gathered)
        return RecvMsgInto(this, &CResInfoInnerDrv::OnRecv_RetFileBytes, kRetFileBufferWhere,
                           body + 4, len - 4, m_Joined);
    std::get<0>(m_Gathered).bytes = gathered;
    m_nGatheredBefore = gathered->size();
    return RecvMsgInto(this, &CResInfoInnerDrv::OnRecv_RetFileGathered, kRetFileBufferWhere,
                       body + 4, len - 4, m_Gathered);
}

void CResInfoInnerDrv::OnRecv_RetFileBuffer(const TBigString& buffer)
{
    std::string bytes;
    CoverTBigString2String(buffer, bytes);
    OnFileContent(CResInfoVerMgr::Instance().SetFileContent(
        bytes.data(), static_cast<uint32_t>(bytes.size())));
}

void CResInfoInnerDrv::OnRecv_RetFileBytes(const TBigStringJoined& buffer)
{
    OnFileContent(CResInfoVerMgr::Instance().SetFileContent(
        buffer.bytes.data(), static_cast<uint32_t>(buffer.bytes.size())));
}

void CResInfoInnerDrv::OnRecv_RetFileGathered(const TBigStringAppended& buffer)
{
    OnFileContent(CResInfoVerMgr::Instance().CommitFileContent(
        static_cast<uint32_t>(buffer.bytes->size() - m_nGatheredBefore)));
}

void CResInfoInnerDrv::OnFileContent(int64_t missing)
{
    if (missing > 0)
        return;
    if (missing < 0) {
        GetLog("NetLog").Write(2, "[%s] SetFileContent failed.",
                               "CResInfoInnerDrv::OnRecv_RetFileBuffer");
        Abort();
    }
    RequestNext();
}

// A download moves megabytes: each read takes several RetFileBuffer frames
// at once instead of 1 KiB, which would be most of the time it takes.
const unsigned int kInnerRecvCapacity = 256 * 1024;
// The largest frame: a token and the largest package.
const uint32_t kMaxFrame = 4 + 4 + CMsgDisp::kMaxBody;
// A frame not yet whole waits in the socket's buffer, so the buffer must
// hold one with room to read more.
static_assert(kInnerRecvCapacity >= 2 * (4 + kMaxFrame), "a frame fits the receive buffer");
const unsigned int kClose = 0xFFFFFFFFu;

CResInfoInnerConn::CResInfoInnerConn()
    : CMsgSocket(kInnerRecvCapacity, 1024),
      m_pEngine(nullptr),
      m_pSession(nullptr),
      m_bFinished(false),
      m_Drv(this),
      m_bConnectFailed(false),
      m_bCutting(false)
{
    m_MsgDisp.RegisterHandler(&m_Drv);
    m_Drv.SetSender(&m_Sender);
}

CResInfoInnerConn::~CResInfoInnerConn() {}

void CResInfoInnerConn::OnGetResult(int32_t result, uint32_t version,
                                    const std::vector<ResInfoItem>& items)
{
    // Reported before the game hears it, so a request the game makes from
    // inside its answer finds this update over.
    m_bFinished = true;
    Report(result, version, items);
}

void CResInfoInnerConn::Report(int32_t result, uint32_t version,
                               const std::vector<ResInfoItem>& items)
{
    // Ending the update lets go of this connection: it stays while its
    // notification is on the stack.
    if (CUpdateSession* session = m_pSession)
        session->End(result, version, items);
}

void CResInfoInnerConn::OnConnect(bool success)
{
    if (success) {
        m_Sender.SetSocket(this);
        m_Drv.GetVersionList(CResInfoVerMgr::Instance().GetVersion());
        AwaitReply();
        return;
    }
    m_bConnectFailed = true;
    Report(-1, 0, std::vector<ResInfoItem>());
}

void CResInfoInnerConn::OnWatchdog()
{
    if (!m_bFinished)
        Shutdown();
}

void CResInfoInnerConn::OnClose()
{
    KillWatchdog();
    if (!m_bFinished)
        OnGetResult(-3, 0, std::vector<ResInfoItem>());
}

unsigned int CResInfoInnerConn::OnRecv(const char* data, unsigned int len)
{
    if (!m_bFinished)
        AwaitReply();  // bytes arrive: the server is alive
    if (m_bCutting) {
        // Frames are handled where they lie in the socket's buffer, which a
        // read now could move. Nothing a handler does lets the game run
        // while the connection is open; should it, the download ends.
        Shutdown();
        return 0;
    }
    m_bCutting = true;
    const unsigned int used = CutFrames(data, len);
    m_bCutting = false;
    if (used == kClose) {
        Shutdown();
        return 0;
    }
    return used;
}

unsigned int CResInfoInnerConn::CutFrames(const char* data, unsigned int len)
{
    unsigned int at = 0;
    while (len - at >= 4) {
        const uint32_t frame = ReadU32LE(data + at);
        if (frame < 4 || frame > kMaxFrame)
            return kClose;
        if (len - at - 4 < frame)
            break;  // the rest comes with the next read
        bool ok = true;
        try {
            ok = OnFrame(data + at + 4, frame);
        } catch (...) {
            ok = true;  // that frame is lost, not the ones behind it
        }
        at += 4 + frame;
        if (!ok)
            return kClose;
        if (IsDeletePending())
            break;  // the update has let go: nothing more is dispatched
    }
    return at;
}

bool CResInfoInnerConn::OnFrame(const char* data, uint32_t len)
{
    return m_MsgDisp.DispatchPkg(data + 4, len - 4);
}
