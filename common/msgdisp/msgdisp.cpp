#include "common/msgdisp/msgdisp.h"

#include "common/bytes/byteorder.h"

bool CMsgDisp::RegisterHandler(IMsgHandler* handler)
{
    m_nErrorCode = kOk;
    unsigned short id = handler->GetModuleId();
    if (id == 0) {
        m_nErrorCode = kModuleZero;
        return false;
    }
    auto it = m_Handlers.find(id);
    if (it == m_Handlers.end()) {
        m_Handlers[id] = handler;
        // The owner attaches the real sender after registering.
        handler->SetSender(nullptr);
        return true;
    }
    if (it->second == handler)
        return true;
    m_nErrorCode = kDuplicate;
    return false;
}

bool CMsgDisp::UnregisterHandler(IMsgHandler* handler)
{
    m_nErrorCode = kOk;
    auto it = m_Handlers.find(handler->GetModuleId());
    if (it != m_Handlers.end() && it->second == handler) {
        m_Handlers.erase(it);
        return true;
    }
    m_nErrorCode = kMalformed;
    return false;
}

bool CMsgDisp::DispatchPkg(const char* data, unsigned int size)
{
    m_nErrorCode = kOk;
    if (size < 4) {
        m_nErrorCode = kMalformed;
        return false;
    }
    uint32_t pkgLen = ReadU32LE(data);
    // A body shorter than 2 bytes holds no module id; reject it rather than read past it.
    if (pkgLen > kMaxBody || pkgLen + 4 != size || pkgLen < 2) {
        m_nErrorCode = kMalformed;
        return false;
    }
    unsigned short moduleId = ReadU16LE(data + 4);
    auto it = m_Handlers.find(moduleId);
    if (it == m_Handlers.end()) {
        if (moduleId == 0)
            return true;
        m_nErrorCode = kNoHandler;
        return false;
    }
    if (it->second && it->second->OnMsg(data + 4, pkgLen))
        return true;
    m_nErrorCode = kRejected;
    return false;
}

bool CMsgDisp::ClearHandlers()
{
    m_nErrorCode = kOk;
    m_Handlers.clear();
    return true;
}
