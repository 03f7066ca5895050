#include "qxnetengine/fakesender/localdispatch.h"

namespace {

// Clears the flag however the dispatch ends.
class CBusyScope {
public:
    explicit CBusyScope(bool& busy) : m_bBusy(busy) { m_bBusy = true; }
    ~CBusyScope() { m_bBusy = false; }

private:
    bool& m_bBusy;
};

}  // namespace

void DispatchBody(CMsgDisp& disp, CPkgBuffer& buffer, bool& busy, const char* body, uint32_t len)
{
    if (busy) {
        CPkgBuffer nested;
        if (BuildPkg(nested, body, len))
            disp.DispatchPkg(nested.GetData(), nested.GetLength());
        return;
    }
    if (!BuildPkg(buffer, body, len))
        return;
    CBusyScope scope(busy);
    disp.DispatchPkg(buffer.GetData(), buffer.GetLength());
}
