// The game client's receive path: what a game server sends, delivered in
// pieces as the socket hands them over. Record kinds: 0 raw bytes; 1 a frame
// the harness builds around a message body (length, the client's id, a
// package); 2 the same with a foreign id. Module 1 accepts, module 2 refuses,
// module 3 releases the client from inside its call; others have no handler.
// Every input runs in its own pieces and again in whole reads: both runs must
// dispatch the same messages and end the same way.
#include "common/bytes/byteorder.h"
#include "qxnetengine/gameclient/gameclient.h"
#include "support/fuzzenv.h"
#include "support/fuzzhandler.h"
#include "support/fuzzstream.h"

namespace {

const unsigned int kMyId = 0x01020304;

// No socket lies behind this client, so the close it decides on is carried
// out here as the socket layer would: OnClose, and no more bytes arrive.
class CFuzzGameClient : public CGameClient {
public:
    bool Shutdown() override
    {
        m_bShut = true;
        OnClose();
        return true;
    }
    bool m_bShut = false;
};

class CGameHandler : public IGameClientHandler {
public:
    explicit CGameHandler(std::vector<std::string>* events) : m_pEvents(events) {}
    void QXNET_CALL OnConnect(int result) override
    {
        m_pEvents->push_back("connect " + std::to_string(result));
    }
    void QXNET_CALL OnClose() override { m_pEvents->push_back("close"); }

private:
    std::vector<std::string>* m_pEvents;
};

std::string RecordBytes(const TFuzzRecord& r)
{
    if (r.kind != 1 && r.kind != 2)
        return r.data;
    std::string frame(12, '\0');
    WriteU32LE(&frame[0], static_cast<uint32_t>(r.data.size() + 8));
    WriteU32LE(&frame[4], r.kind == 1 ? kMyId : 0);
    WriteU32LE(&frame[8], static_cast<uint32_t>(r.data.size()));
    return frame + r.data;
}

std::vector<std::string> Run(const std::vector<std::string>& pieces)
{
    std::vector<std::string> events;
    CGameHandler game(&events);
    CFuzzGameClient* client = new CFuzzGameClient;
    client->Init(kMyId, &game);
    CFuzzHandler accepting(1, &events, true), refusing(2, &events, false),
        releasing(3, &events, true);
    bool released = false;
    releasing.m_OnMsg = [&](const char*, unsigned int) {
        released = true;
        client->Release();
    };
    CMsgDisp& disp = client->GetDispatcher();
    disp.RegisterHandler(&accepting);
    disp.RegisterHandler(&refusing);
    disp.RegisterHandler(&releasing);

    for (const std::string& piece : pieces) {
        // As the socket window does around every notification.
        client->EnterCall();
        client->OnRecv(piece.data(), static_cast<unsigned int>(piece.size()));
        bool shut = !released && client->m_bShut;
        client->LeaveCall();
        if (released || shut)
            break;
    }
    if (!released)
        client->Release();
    events.push_back(released ? "released" : "end");
    return events;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInitEngineEnv();
    RunPiecesAgainstWholeReads(data, size, RecordBytes, Run);
    return 0;
}
