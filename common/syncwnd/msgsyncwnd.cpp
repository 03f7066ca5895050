#include "common/syncwnd/msgsyncwnd.h"

namespace {

// The instance whose window exists; set only by a successful Create.
CMsgSyncWnd* g_pWndOwner = nullptr;

const unsigned int kMaxProbes = 31743;

}  // namespace

CMsgSyncWnd& CMsgSyncWnd::Instance()
{
    static CMsgSyncWnd instance;
    return instance;
}

CMsgSyncWnd::CMsgSyncWnd() : m_nTimerCounter(0), m_nCounter(kFirstToken - 1), m_hWnd(nullptr) {}

bool CMsgSyncWnd::Create(void* moduleInstance)
{
    if (g_pWndOwner)
        return false;
    qxplat::HiddenWnd* wnd =
        qxplat::CreateHiddenWnd(moduleInstance, "MSG_SYNC_WNDCLASS", "QXMsgSyncWnd", WndProc);
    if (!wnd)
        return false;
    m_hWnd = wnd;
    g_pWndOwner = this;
    return true;
}

void CMsgSyncWnd::Destroy()
{
    qxplat::HiddenWnd* wnd = m_hWnd.exchange(nullptr);
    if (!wnd)
        return;
    if (g_pWndOwner == this)
        g_pWndOwner = nullptr;
    qxplat::DestroyHiddenWnd(wnd);
    CAutoLock lock(&m_Lock);
    m_Timers.clear();  // they went with the window
}

unsigned int CMsgSyncWnd::AllocToken()
{
    CAutoLock lock(&m_Lock);
    auto next = [this] {
        unsigned int candidate = ++m_nCounter;
        // 32,753 is handed out once per cycle; the cycle then restarts at 1,026.
        if (m_nCounter > kLastToken - 1)
            m_nCounter = kFirstToken;
        return candidate;
    };
    unsigned int candidate = next();
    unsigned int probes = 0;
    while (m_Callbacks.count(candidate) && probes < kMaxProbes) {
        candidate = next();
        ++probes;
    }
    return probes >= kMaxProbes ? 0 : candidate;
}

unsigned int CMsgSyncWnd::AddCallback(const Callback& callback)
{
    CAutoLock lock(&m_Lock);
    unsigned int token = AllocToken();
    if (token)
        m_Callbacks[token] = callback;
    return token;
}

bool CMsgSyncWnd::RemoveCallback(unsigned int token)
{
    CAutoLock lock(&m_Lock);
    return m_Callbacks.erase(token) > 0;
}

bool CMsgSyncWnd::FindCallback(unsigned int token, Callback* out)
{
    CAutoLock lock(&m_Lock);
    auto it = m_Callbacks.find(token);
    if (it == m_Callbacks.end())
        return false;
    if (out)
        *out = it->second;
    return true;
}

bool CMsgSyncWnd::Notify(unsigned int token, unsigned int wParam, int32_t lParam, bool send)
{
    qxplat::HiddenWnd* wnd = m_hWnd.load();
    if (!wnd || !FindCallback(token, nullptr))
        return false;
    if (send)
        qxplat::SendWndMessage(wnd, token, wParam, lParam);
    else
        return qxplat::PostWndMessage(wnd, token, wParam, lParam);
    return true;
}

bool CMsgSyncWnd::SyncCall(const Callback& callback, unsigned int wParam, int32_t lParam)
{
    unsigned int token = AddCallback(callback);
    if (token < kFirstToken - 1)
        return false;
    if (!Notify(token, wParam, lParam, true)) {
        RemoveCallback(token);
        return false;
    }
    return RemoveCallback(token);
}

bool CMsgSyncWnd::PostCall(const Callback& callback, unsigned int wParam, int32_t lParam)
{
    unsigned int token = AddCallback(callback);
    if (token < kFirstToken)
        return false;
    {
        CAutoLock lock(&m_Lock);
        m_OneShot.insert(token);
    }
    if (Notify(token, wParam, lParam, false))
        return true;
    CAutoLock lock(&m_Lock);
    m_OneShot.erase(token);
    m_Callbacks.erase(token);
    return false;
}

unsigned int CMsgSyncWnd::StartTimer(const Callback& callback, unsigned int ms)
{
    qxplat::HiddenWnd* wnd = m_hWnd.load();
    if (!wnd)
        return 0;
    unsigned int id = 0;
    {
        CAutoLock lock(&m_Lock);
        do {
            id = ++m_nTimerCounter;
        } while (id == 0 || m_Timers.count(id));
        m_Timers[id] = callback;
    }
    if (qxplat::SetWndTimer(wnd, id, ms))
        return id;
    CAutoLock lock(&m_Lock);
    m_Timers.erase(id);
    return 0;
}

bool CMsgSyncWnd::CancelTimer(unsigned int id)
{
    {
        CAutoLock lock(&m_Lock);
        if (!m_Timers.erase(id))
            return false;
    }
    if (qxplat::HiddenWnd* wnd = m_hWnd.load())
        qxplat::KillWndTimer(wnd, id);
    return true;
}

bool CMsgSyncWnd::OnTimer(unsigned int id)
{
    Callback callback;
    {
        CAutoLock lock(&m_Lock);
        auto it = m_Timers.find(id);
        if (it == m_Timers.end())
            return false;
        callback = it->second;
        m_Timers.erase(it);
    }
    // A window timer repeats: this one was meant to run once.
    if (qxplat::HiddenWnd* wnd = m_hWnd.load())
        qxplat::KillWndTimer(wnd, id);
    try {
        callback(0, 0);
    } catch (...) {
    }
    return true;
}

bool CMsgSyncWnd::WndProc(unsigned int msg, uintptr_t wParam, intptr_t lParam)
{
    CMsgSyncWnd* self = g_pWndOwner;
    if (!self)
        return false;
    if (msg == qxplat::kWmTimer)
        return self->OnTimer(static_cast<unsigned int>(wParam));
    Callback callback;
    {
        CAutoLock lock(&self->m_Lock);
        auto it = self->m_Callbacks.find(msg);
        if (it == self->m_Callbacks.end())
            return false;
        callback = it->second;
        if (self->m_OneShot.erase(msg))
            self->m_Callbacks.erase(it);
    }
    // The callback runs outside the lock, so it may itself call SyncCall.
    try {
        callback(static_cast<unsigned int>(wParam), static_cast<int32_t>(lParam));
    } catch (...) {
        return false;
    }
    return true;
}
