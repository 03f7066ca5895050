// CMsgDisp::DispatchPkg on arbitrary packages. Module 1 has a handler that
// accepts, module 2 one that refuses; every other module has none.
#include "common/bytes/byteorder.h"
#include "common/msgdisp/msgdisp.h"
#include "support/fuzzcheck.h"
#include "support/fuzzhandler.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::vector<std::string> events;
    static CFuzzHandler accepting(1, &events, true);
    static CFuzzHandler refusing(2, &events, false);
    static const char* seenBody = nullptr;
    static CMsgDisp* disp = [] {
        CMsgDisp* d = new CMsgDisp;
        d->RegisterHandler(&accepting);
        d->RegisterHandler(&refusing);
        accepting.m_OnMsg =
            refusing.m_OnMsg = [](const char* body, unsigned int) { seenBody = body; };
        return d;
    }();
    events.clear();
    seenBody = nullptr;

    const char* pkg = reinterpret_cast<const char*>(data);
    const bool ok = disp->DispatchPkg(pkg, static_cast<unsigned int>(size));
    const int code = disp->GetErrorCode();

    const uint32_t pkgLen = size >= 4 ? ReadU32LE(pkg) : 0;
    const bool framed = size >= 4 && pkgLen <= CMsgDisp::kMaxBody && pkgLen + 4 == size;
    // A body too short for its module id is refused like a malformed package.
    if (!framed || pkgLen < 2) {
        FUZZ_CHECK(!ok && code == CMsgDisp::kMalformed && events.empty());
        return 0;
    }
    switch (ReadU16LE(pkg + 4)) {
    case 0: FUZZ_CHECK(ok && code == CMsgDisp::kOk && events.empty()); break;
    case 1: FUZZ_CHECK(ok && code == CMsgDisp::kOk && events.size() == 1); break;
    case 2: FUZZ_CHECK(!ok && code == CMsgDisp::kRejected && events.size() == 1); break;
    default: FUZZ_CHECK(!ok && code == CMsgDisp::kNoHandler && events.empty()); break;
    }
    // The handler is given the body where it lies, never a copy.
    if (!events.empty())
        FUZZ_CHECK(seenBody == pkg + 4 && events[0].size() == 6 + pkgLen);
    return 0;
}
