// The gate connection's receive path, from the handshake (reply check, key
// routine in the sandbox) into the established state (decrypt, dispatch),
// with a real engine behind it. Record kinds: 0 raw bytes; 1 a handshake
// message the harness scrambles and frames; 2 a package the harness encrypts
// with the key the engine holds at that moment, as the server would, and
// frames; 3 a payload framed as it is. Every input runs in its own pieces and
// again in whole reads: both runs must report and dispatch the same.
#include "common/bytes/byteorder.h"
#include "common/dataencryption/dataencryption.h"
#include "common/protocols/gatehandshake.h"
#include "qxnetengine/gameclient/gatesvrsocket.h"
#include "qxnetengine/netengine/netengine.h"
#include "support/fuzzcheck.h"
#include "support/fuzzenginehandler.h"
#include "support/fuzzenv.h"
#include "support/fuzzhandler.h"
#include "support/fuzzstream.h"

#include <cstring>

namespace {

// The key routines of the tests run a few thousand instructions; one that
// loops should not cost the fuzzer the engine's whole budget.
const uint32_t kKeyRoutineBudget = 20000;

// The engine did not make this connection, so the close it decides on is
// carried out here as the socket layer would: OnClose, and no more bytes.
class CFuzzGateSocket : public CGateSvrSocket {
public:
    explicit CFuzzGateSocket(CNetEngine* engine) : CGateSvrSocket(engine, 0) {}
    bool Shutdown() override
    {
        m_bShut = true;
        OnClose();
        return true;
    }
    bool m_bShut = false;
};

std::string Framed(const std::string& payload)
{
    std::string f(4, '\0');
    WriteU32LE(&f[0], static_cast<uint32_t>(payload.size()));
    return f + payload;
}

std::string RecordBytes(const TFuzzRecord& r, CNetEngine* engine)
{
    switch (r.kind) {
    case 1: {
        std::string msg = r.data;
        ScrambleGate(&msg[0], msg.size());
        return Framed(msg);
    }
    case 2: {
        CDataEncryption crypto;
        crypto.SetKey(engine->GetKeyArea(), 32);
        return Framed(crypto.Encrypt(r.data));
    }
    case 3: return Framed(r.data);
    default: return r.data;
    }
}

// Feeds the records (built as they are reached) or, when given, the reads;
// returns the events, and the bytes fed in *stream.
std::vector<std::string> Run(const TFuzzStream& s, const std::vector<std::string>* reads,
                             std::string* stream)
{
    std::vector<std::string> events;
    CFuzzEngineHandler game(&events);
    CNetEngine* engine = new CNetEngine;
    engine->Initialize(&game);
    // A fixed client half, so a finding replays; the server half starts zero.
    for (int i = 0; i < 16; ++i) engine->GetKeyArea()[i] = static_cast<unsigned char>(0xA0 + i);
    // Registered first, this takes module 302 from the engine's own handler,
    // which would connect to whatever address the bytes name.
    CFuzzHandler resInfoDisp(302, &events), accepting(1, &events);
    engine->GetMsgDisp()->RegisterHandler(&resInfoDisp);
    engine->GetMsgDisp()->RegisterHandler(&accepting);

    CFuzzGateSocket* conn = new CFuzzGateSocket(engine);
    conn->SetKeyRoutineBudget(kKeyRoutineBudget);
    conn->OnConnect(true);
    auto feed = [&](const std::string& piece) {
        conn->EnterCall();
        conn->OnRecv(piece.data(), static_cast<unsigned int>(piece.size()));
        conn->LeaveCall();
        return !conn->m_bShut;
    };
    if (reads) {
        for (const std::string& read : *reads)
            if (!feed(read))
                break;
    } else {
        CPieceCutter cutter(s.cutSeed);
        bool open = true;
        for (size_t i = 0; i < s.records.size() && open; ++i) {
            std::string bytes = RecordBytes(s.records[i], engine);
            *stream += bytes;
            for (const std::string& piece : CutPieces(bytes, cutter))
                if (!(open = feed(piece)))
                    break;
        }
    }
    events.push_back("state " + std::to_string(conn->GetGateState()) + " gate " +
                     std::to_string(conn->GetGateId()) + " key " +
                     std::string(reinterpret_cast<const char*>(engine->GetKeyArea()), 32));
    conn->Detach();
    conn->DeleteLater();
    engine->Release();
    return events;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInitEngineEnv();
    TFuzzStream s = ReadFuzzStream(data, size);
    std::string stream;
    std::vector<std::string> inPieces = Run(s, nullptr, &stream);
    if (s.cutSeed != 0) {
        CPieceCutter whole(0);
        std::vector<std::string> reads = CutPieces(stream, whole);
        FUZZ_CHECK(Run(s, &reads, nullptr) == inPieces);
    }
    return 0;
}
