#include "common/protocols/protocolbase.h"

#include "common/bytes/byteorder.h"
#include "platform/debug.h"

#include <atomic>
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

namespace {

std::atomic<CProtocolBase::PFN_RecvFailureReport> g_RecvFailureReport{nullptr};

}  // namespace

void CProtocolBase::SetRecvFailureReport(PFN_RecvFailureReport report)
{
    g_RecvFailureReport = report;
}

void CProtocolBase::ReportRecvFailure(const char* name)
{
    char text[4096];
    snprintf(text, sizeof text, "Exception at: %s\n", name);
    PFN_RecvFailureReport report = g_RecvFailureReport;
    if (report)
        report(text);
    else
        qxplat::DebugOutput(text);
}
