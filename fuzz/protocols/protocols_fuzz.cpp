// OnMsg of the three protocol classes on arbitrary message bodies. The body's
// module id picks the class (300, 301, 302; any other id by its remainder).
// A message is handled exactly when its callback ran, and the fields the
// callback got, encoded again, are the bytes they were read from.
#include "common/bytes/byteorder.h"
#include "common/protocols/resinfo.h"
#include "common/protocols/resinfodisp.h"
#include "common/protocols/resinfoinner.h"
#include "support/fuzzcheck.h"

#include <string>

namespace {

// The fields of the last callback, encoded again; unset when none ran.
struct CEchoed {
    bool ran = false;
    std::string bytes;

    template <typename... T>
    void Set(const T&... fields)
    {
        ran = true;
        CBufferWriter w(&bytes);
        (void)(w << ... << fields);
    }
};

class CGame : public ResInfo::CResInfo {
public:
    explicit CGame(CEchoed* echo) : m_pEcho(echo) {}
    void OnRecv_GetVersions(const uint32_t& version) override { m_pEcho->Set(version); }

private:
    CEchoed* m_pEcho;
};

class CInner : public ResInfoInner::CResInfoInner {
public:
    explicit CInner(CEchoed* echo) : m_pEcho(echo) {}
    void OnRecv_RetVersionList(const ResInfoInner::TVecVersionInfo& list) override
    {
        m_pEcho->Set(list);
    }
    void OnRecv_RetFileInfo(const ResInfoInner::TFileInfo& info, const uint32_t& left) override
    {
        m_pEcho->Set(info, left);
    }
    void OnRecv_RetFileBuffer(const TBigString& buffer) override { m_pEcho->Set(buffer); }

private:
    CEchoed* m_pEcho;
};

class CDisp : public ResInfoDisp::CResInfoDisp {
public:
    explicit CDisp(CEchoed* echo) : m_pEcho(echo) {}
    void OnRecv_RetResInfoSvrAddr(const ResInfoDisp::TIPv4Addr& address, const uint16_t& port,
                                  const TVecChar& ticket) override
    {
        m_pEcho->Set(address, port, ticket);
    }

private:
    CEchoed* m_pEcho;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* body = reinterpret_cast<const char*>(data);
    const unsigned int len = static_cast<unsigned int>(size);
    CEchoed echo;
    CGame game(&echo);
    CInner inner(&echo);
    CDisp disp(&echo);
    IMsgHandler* handlers[3] = {&game, &inner, &disp};

    const unsigned short moduleId = size >= 2 ? ReadU16LE(body) : 0;
    // 300, 301 and 302 leave the remainders 0, 1 and 2.
    IMsgHandler* handler = handlers[moduleId % 3];
    const bool handled = handler->OnMsg(body, len);

    FUZZ_CHECK(handled == echo.ran);
    if (handled) {
        FUZZ_CHECK(size >= 4 + echo.bytes.size());
        FUZZ_CHECK(echo.bytes.compare(0, std::string::npos, body + 4, echo.bytes.size()) == 0);
    }
    return 0;
}
