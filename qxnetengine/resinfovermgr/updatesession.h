#pragma once
// One resource update, from the game's GetVersions to its answer. The
// session owns what the update needs while it runs: the engine that asked,
// the game's receiver, the connection to the resource-information server and
// the part file being written. One runs at a time in the process; the file
// store and the connection reach it through Current.

#include "common/protocols/resinfo.h"
#include "common/serialization/basictypes.h"
#include "qxnetengine/resinfovermgr/partfile.h"
#include "qxnetengine/resinfovermgr/resinfovergog.h"

#include <cstdint>
#include <vector>

class CNetEngine;
class CResInfoInnerConn;

class CUpdateSession {
public:
    // The gate has this long to say where the resource-information server
    // is; the update then ends with -1.
    static const unsigned int kAddrReplyTimeoutMs = 15000;

    // The running update, or none.
    static CUpdateSession* Current();

    // The game's request: starts an update of engine, answered to receiver,
    // by asking the gate where the server is. While engine's update is still
    // asking it asks again; another running update makes it do nothing.
    static void Request(CNetEngine* engine, ResInfo::CResInfo* receiver, uint32_t version);
    // The gate's answer to engine; taken only when engine's update waits for
    // it, otherwise logged and ignored.
    static void OnAddress(CNetEngine* engine, uint32_t addr, uint16_t port, const TVecChar& ticket);
    // engine's gate can no longer answer (closed, or its answer was
    // malformed): an update waiting for it ends with -1.
    static void OnNoAddress(CNetEngine* engine);
    // The engine goes away: its update ends without an answer.
    static void Abandon(CNetEngine* engine);

    // An update of engine that waits for its server without asking a gate,
    // and the connection that serves it, for a harness that plays the
    // server's part; none when an update runs.
    static CUpdateSession* Begin(CNetEngine* engine, ResInfo::CResInfo* receiver);
    void Attach(CResInfoInnerConn* conn);

    CNetEngine* Engine() const { return m_pEngine; }
    CPartFile& PartFile() { return m_PartFile; }
    // Ends the update and answers the game. The session is gone (its part
    // file deleted, its connection let go) before the game hears the answer,
    // so the game may ask again from inside it.
    void End(int32_t result, uint32_t version, const std::vector<ResInfoItem>& items);

private:
    CUpdateSession(CNetEngine* engine, ResInfo::CResInfo* receiver);
    ~CUpdateSession();
    CUpdateSession(const CUpdateSession&) = delete;
    CUpdateSession& operator=(const CUpdateSession&) = delete;

    bool IsAsking() const { return m_pConn == nullptr; }
    void Ask();
    void OnAddrTimeout(unsigned int, int32_t);
    void StopTimer();

    CNetEngine* m_pEngine;
    ResInfo::CResInfo* m_pReceiver;
    CResInfoInnerConn* m_pConn;  // none while asking the gate
    unsigned int m_nTimer;       // the gate's time to answer, while asking
    CPartFile m_PartFile;
};
