// ParseDispRetPkg on whatever a dispatch server (or anyone on the path)
// sends back: a gate address, or a notice handed to the engine's game
// through the sync window.
#include "common/bytes/byteorder.h"
#include "common/protocols/dispproto.h"
#include "qxnetengine/netengine/discovery.h"
#include "qxnetengine/netengine/netengine.h"
#include "support/fuzzcheck.h"
#include "support/fuzzenginehandler.h"
#include "support/fuzzenv.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInitEngineEnv();
    static std::vector<std::string> events;
    static CFuzzEngineHandler game(&events);
    static CNetEngine* engine = [] {
        CNetEngine* e = new CNetEngine;
        e->Initialize(&game);
        return e;
    }();
    events.clear();
    auto shared = std::make_shared<CDiscoveryShared>();
    shared->pEngine = engine;
    uint32_t addr = CNetEngine::kAddrNone;
    uint16_t port = 0;

    const char* reply = reinterpret_cast<const char*>(data);
    bool answered = false;
    const bool ok = ParseDispRetPkg(shared, reply, size, &addr, &port, &answered);

    const uint32_t type = size >= 4 ? ReadU32LE(reply) : 0;
    const bool notice = ok && type != DispProto::kTypeGateAddr;
    if (ok) {
        FUZZ_CHECK(ReadU32LE(reply + 4) == DispProto::kMagic);
        FUZZ_CHECK((size == DispProto::kGateAddrLen && type == DispProto::kTypeGateAddr) ||
                   (size == DispProto::kNoticeLen &&
                    (type == DispProto::kTypeNotice || type == DispProto::kTypeTooOld)));
    } else {
        FUZZ_CHECK(addr == CNetEngine::kAddrNone && port == 0);
    }
    // A notice, and only a notice, reaches the game, once, and ends discovery.
    FUZZ_CHECK(answered == notice);
    FUZZ_CHECK(events.size() == (notice ? 1u : 0u));
    return 0;
}
