#include "gameserver.h"

#include "common/bytes/byteorder.h"
#include "common/msgdisp/msgdisp.h"

namespace {

class CGameConn : public CRefConn {
public:
    CGameConn() : CRefConn("game", 1 << 20) {}

private:
    // Client frame: the bytes that follow, the client id, one package.
    void OnInput() override
    {
        while (!Dropped() && m_strIn.size() >= 12) {
            const char* p = m_strIn.data();
            uint32_t contLen = ReadU32LE(p), id = ReadU32LE(p + 4), len = ReadU32LE(p + 8);
            if (len < 4 || len > CMsgDisp::kMaxBody || contLen != len + 8) {
                Drop("malformed frame");
                return;
            }
            if (m_strIn.size() < 12 + static_cast<size_t>(len))
                return;
            uint16_t module = ReadU16LE(p + 12), msg = ReadU16LE(p + 14);
            if (RefLogShown())
                Log("recv client %08X module %u message %u (%u bytes): %s", id, module, msg, len,
                    HexStart(p + 12, len).c_str());
            if (msg == CRefGameServer::kGoodbyeMsg) {
                m_strIn.erase(0, 12 + static_cast<size_t>(len));
                Drop("the client said goodbye");
                return;
            }
            // The server frame (the bytes that follow, the client id as token,
            // the package) has the client frame's layout: the same bytes go back.
            std::string reply = m_strIn.substr(0, 12 + static_cast<size_t>(len));
            m_strIn.erase(0, reply.size());
            if (m_nFault == CRefGameServer::kFaultBadFrame) {
                Fault("a frame too short for a package");
                WriteU32LE(&reply[0], 2);
                Out(reply.data(), 6);
                m_nFault = 0;
                continue;
            }
            if (m_nFault == CRefGameServer::kFaultCloseMidFrame) {
                Fault("closing in the middle of a frame");
                Out(reply.data(), reply.size() / 2);
                Drop("fault");
                return;
            }
            Log("send client %08X module %u message %u (%u bytes) back", id, module, msg, len);
            Out(reply.data(), reply.size());
        }
    }
};

}  // namespace

CRefGameServer::CRefGameServer() : m_Listener("game", [] { return new CGameConn; }) {}

bool CRefGameServer::Start(unsigned short port) { return m_Listener.Start(port); }
