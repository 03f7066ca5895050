#include "qxnetengine/fakesender/fakesender.h"

#include "qxnetengine/fakesender/localdispatch.h"

bool CFakeSender::Send(const char* data, unsigned int len)
{
    if (m_pMsgDisp)
        DispatchBody(*m_pMsgDisp, m_PkgBuffer, m_bDispatching, data, len);
    return true;
}
