#pragma once

#include "common/lock/lock.h"
#include "platform/wnd.h"

#include <boost/function.hpp>

#include <atomic>

#include <cstdint>
#include <map>
#include <set>

// Runs callbacks on the thread that owns its hidden window. A worker thread
// registers a callback under a fresh message number (a token) and sends that
// message; it returns once the callback has run on the window's thread.
class CMsgSyncWnd {
public:
    typedef boost::function<void(unsigned int, int32_t)> Callback;

    // Tokens are message numbers clear of the system's and of WM_USER + 0x100.
    static const unsigned int kFirstToken = 1025;
    static const unsigned int kLastToken = 32753;

    // The process-wide instance. Separate instances exist only in tests.
    static CMsgSyncWnd& Instance();
    CMsgSyncWnd();

    bool Create(void* moduleInstance);
    // Destroys the window; calls then fail until the next Create.
    void Destroy();
    bool IsCreated() const { return m_hWnd.load() != nullptr; }
    bool SyncCall(const Callback& callback, unsigned int wParam, int32_t lParam);
    // Runs the callback once on the window's thread, on a later turn of its
    // message loop; returns at once.
    bool PostCall(const Callback& callback, unsigned int wParam, int32_t lParam);
    // Runs the callback once on the window's thread after ms milliseconds
    // unless cancelled first. Returns the timer's id, 0 on failure.
    unsigned int StartTimer(const Callback& callback, unsigned int ms);
    // False when the timer has run or never existed.
    bool CancelTimer(unsigned int id);
    unsigned int AddCallback(const Callback& callback);  // 0 when no token is free
    bool RemoveCallback(unsigned int token);
    bool FindCallback(unsigned int token, Callback* out);
    bool Notify(unsigned int token, unsigned int wParam, int32_t lParam, bool send);

private:
    CMsgSyncWnd(const CMsgSyncWnd&) = delete;
    CMsgSyncWnd& operator=(const CMsgSyncWnd&) = delete;

    unsigned int AllocToken();
    static bool WndProc(unsigned int msg, uintptr_t wParam, intptr_t lParam);
    bool OnTimer(unsigned int id);

    std::map<unsigned int, Callback> m_Callbacks;
    std::set<unsigned int> m_OneShot;  // tokens of posted calls, removed when run
    std::map<unsigned int, Callback> m_Timers;
    unsigned int m_nTimerCounter;
    CCritSection m_Lock;
    unsigned int m_nCounter;
    // Read by the worker threads that hand results over.
    std::atomic<qxplat::HiddenWnd*> m_hWnd;
};
