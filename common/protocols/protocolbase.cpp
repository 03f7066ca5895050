#include "common/protocols/protocolbase.h"

#include "common/bytes/byteorder.h"
#include "platform/debug.h"

#include <cstdio>

IMsgSender* CProtocolBase::SetSender(IMsgSender* sender)
{
    IMsgSender* old = m_pSender;
    m_pSender = sender;
    return old;
}

bool CProtocolBase::ReadMsgId(const char* body, unsigned int len, uint16_t* msgId)
{
    // A peer may send a body shorter than the two ids.
    if (len < 4)
        return false;
    *msgId = ReadU16LE(body + 2);
    return true;
}

void CProtocolBase::ReportRecvFailure(const char* name)
{
    char text[4096];
    snprintf(text, sizeof text, "Exception at: %s\n", name);
    qxplat::DebugOutput(text);
}
