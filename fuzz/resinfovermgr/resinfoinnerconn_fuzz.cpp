// The resource update's inner connection: its frame cutter and everything a
// resource-information server's answers drive behind it (version list, file
// store under ResInfo, archives and index at the end, the answer to the
// game). Record kinds: 0 raw bytes; 1 a frame the harness builds around a
// message body (total length, running number, package). The game's module-300
// handler releases the engine inside an answer whose version ends in 0xEE.
// Every input runs in its own pieces and again in whole reads: both runs
// must answer the same.
#include "common/bytes/byteorder.h"
#include "platform/files.h"
#include "qxnetengine/netengine/netengine.h"
#include "qxnetengine/resinfovermgr/resinfoinnerconn.h"
#include "qxnetengine/resinfovermgr/resinfovermgr.h"
#include "qxnetengine/resinfovermgr/updatesession.h"
#include "support/fuzzenginehandler.h"
#include "support/fuzzenv.h"
#include "support/fuzzhandler.h"
#include "support/fuzzstream.h"

namespace {

// No socket lies behind this connection, so the close it decides on is
// carried out here as the socket layer would: OnClose once, no more bytes.
class CFuzzInnerConn : public CResInfoInnerConn {
public:
    bool Shutdown() override
    {
        if (!m_bShut) {
            m_bShut = true;
            OnClose();
        }
        return true;
    }
    bool m_bShut = false;
};

std::string RecordBytes(const TFuzzRecord& r)
{
    if (r.kind != 1)
        return r.data;
    std::string frame(12, '\0');
    WriteU32LE(&frame[0], static_cast<uint32_t>(r.data.size() + 8));
    WriteU32LE(&frame[4], 1);
    WriteU32LE(&frame[8], static_cast<uint32_t>(r.data.size()));
    return frame + r.data;
}

// Package files of one run must not be found by the next.
void EmptyResInfoDir()
{
    const std::string& dir = CResInfoVerMgr::Instance().GetDir();
    std::vector<qxplat::TDirEntry> entries;
    if (!qxplat::ListDir(dir, &entries))
        return;
    for (const qxplat::TDirEntry& e : entries) qxplat::DeleteFileForce(dir + e.name);
}

std::vector<std::string> Run(const std::vector<std::string>& pieces)
{
    std::vector<std::string> events;
    CFuzzEngineHandler game(&events);
    CNetEngine* engine = new CNetEngine;
    engine->Initialize(&game);
    CFuzzHandler answers(300, &events);
    bool released = false;
    answers.m_OnMsg = [&](const char* body, unsigned int len) {
        // RetVersions: module, message 1, result, version, count.
        if (len >= 12 && ReadU16LE(body + 2) == 1 && static_cast<uint8_t>(body[8]) == 0xEE) {
            released = true;
            engine->Release();
        }
    };
    engine->GetMsgDisp()->RegisterHandler(&answers);
    CResInfoVerMgr::Instance().Reset();
    CResInfoVerMgr::Instance().SetVersion(1);

    CFuzzInnerConn* conn = new CFuzzInnerConn;
    CUpdateSession::Begin(engine, CResInfoVerGogImpl::Instance().GetProtocol())->Attach(conn);
    bool shut = false;
    // What the connection has not taken stays in front of the next piece,
    // as in a socket's receive buffer.
    std::string held;
    for (const std::string& piece : pieces) {
        held += piece;
        conn->EnterCall();
        const unsigned int used = conn->OnRecv(held.data(), static_cast<unsigned int>(held.size()));
        held.erase(0, used);
        shut = conn->m_bShut;
        // A closed connection, or one whose engine is gone, is destroyed as
        // this call leaves.
        conn->LeaveCall();
        if (shut || released)
            break;
    }
    events.push_back(shut ? "shut" : "open");
    if (!released)
        engine->Release();
    CResInfoVerMgr::Instance().Reset();
    EmptyResInfoDir();
    return events;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInitEngineEnv();
    RunPiecesAgainstWholeReads(data, size, RecordBytes, Run);
    return 0;
}
