#pragma once
// What the protocol classes share: the module id, the attached sender, and
// the two halves every message goes through. A send encodes the module id,
// the message id and the fields into a body and hands it to the sender; a
// receive decodes the fields into locals and passes them to the callback.
// The field types of a received message are those of its callback, so each
// message is described once.

#include "QXNetEngine.h"
#include "common/serialization/bufferreader.h"
#include "common/serialization/bufferwriter.h"

#include <cstdint>
#include <string>
#include <tuple>

// Thrown by a callback that ends its exchange on purpose (a download that
// has all it asked for): the message counts as refused, and nothing is
// reported as failed.
struct TRecvEndedOnPurpose {};

class CProtocolBase : public IMsgHandler {
public:
    IMsgSender* QXNET_CALL SetSender(IMsgSender* sender) override;
    unsigned short QXNET_CALL GetModuleId() override { return m_nModuleId; }

    // Where the text of a failed receive goes ("Exception at: <name>"): the
    // debug output unless a program names its own place, such as a log.
    typedef void (*PFN_RecvFailureReport)(const char* text);
    static void SetRecvFailureReport(PFN_RecvFailureReport report);

protected:
    explicit CProtocolBase(unsigned short moduleId) : m_nModuleId(moduleId), m_pSender(nullptr) {}
    // No virtual destructor: the operations after the interface's three are
    // each class's callbacks, in a fixed slot order.
    ~CProtocolBase() {}

    // Encoding errors (a counted field above 255) reach the caller and
    // nothing is sent. The sender's verdict is not examined.
    template <typename... TFields>
    void SendMsg(uint16_t msgId, const TFields&... fields);

    // Decodes the payload into one local per callback parameter, then calls
    // back. Whatever throws, in decoding or in the callback, ends here in a
    // false result; name is reported as the place of the failure.
    template <class TProtocol, typename... TFields>
    static bool RecvMsg(TProtocol* self, void (TProtocol::*callback)(const TFields&...),
                        const char* name, const char* payload, unsigned int len);
    // The same into fields the caller keeps, for a message that comes in long
    // runs: their storage is reused from one message to the next.
    template <class TProtocol, typename... TFields>
    static bool RecvMsgInto(TProtocol* self, void (TProtocol::*callback)(const TFields&...),
                            const char* name, const char* payload, unsigned int len,
                            std::tuple<TFields...>& fields);

    // The message id of a body, or false when the body holds no ids.
    static bool ReadMsgId(const char* body, unsigned int len, uint16_t* msgId);

    IMsgSender* GetSender() const { return m_pSender; }

private:
    static void ReportRecvFailure(const char* name);

    unsigned short m_nModuleId;
    IMsgSender* m_pSender;
};

template <typename... TFields>
void CProtocolBase::SendMsg(uint16_t msgId, const TFields&... fields)
{
    if (!m_pSender)
        return;
    std::string sendPkg;
    CBufferWriter writer(&sendPkg);
    writer << static_cast<uint16_t>(m_nModuleId) << msgId;
    (void)(writer << ... << fields);
    m_pSender->Send(sendPkg.data(), static_cast<unsigned int>(sendPkg.size()));
}

template <class TProtocol, typename... TFields>
bool CProtocolBase::RecvMsg(TProtocol* self, void (TProtocol::*callback)(const TFields&...),
                            const char* name, const char* payload, unsigned int len)
{
    std::tuple<TFields...> fields;
    return RecvMsgInto(self, callback, name, payload, len, fields);
}

template <class TProtocol, typename... TFields>
bool CProtocolBase::RecvMsgInto(TProtocol* self, void (TProtocol::*callback)(const TFields&...),
                                const char* name, const char* payload, unsigned int len,
                                std::tuple<TFields...>& fields)
{
    try {
        CBufferReader reader(payload, len);
        std::apply([&reader](TFields&... f) { (void)(reader >> ... >> f); }, fields);
        std::apply([self, callback](const TFields&... f) { (self->*callback)(f...); }, fields);
        return true;
    } catch (const TRecvEndedOnPurpose&) {
        return false;
    } catch (...) {
        ReportRecvFailure(name);
        return false;
    }
}
