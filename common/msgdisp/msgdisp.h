#pragma once

#include "QXNetEngine.h"

#include <map>

// Routes each package (u32 length, then a body starting with the u16 module
// id) to the handler registered for its module. Used on one thread; no lock.
class CMsgDisp : public IMsgDisp {
public:
    // Result codes of the last operation, read with GetErrorCode.
    enum {
        kOk = 0,
        kMalformed = -1,  // bad package, or unregistering a handler that is not registered
        kModuleZero = 1,
        kDuplicate = 2,
        kRejected = 3,  // the module's handler returned false
        kNoHandler = 4,
    };

    // Largest body a package may carry.
    static const unsigned int kMaxBody = 0xFFFF;

    CMsgDisp() : m_nErrorCode(kOk) {}

    // Slots 0 to 2, in this order; the destructor comes after them.
    bool QXNET_CALL RegisterHandler(IMsgHandler* handler) override;
    bool QXNET_CALL UnregisterHandler(IMsgHandler* handler) override;
    // data must cover size bytes: one whole package.
    virtual bool QXNET_CALL DispatchPkg(const char* data, unsigned int size);
    virtual ~CMsgDisp() {}

    int GetErrorCode() const { return m_nErrorCode; }
    bool ClearHandlers();

private:
    std::map<unsigned short, IMsgHandler*> m_Handlers;
    int m_nErrorCode;
};
