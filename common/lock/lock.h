#pragma once

#include "platform/thread.h"

// Lock shared by the log, the senders and the sync window. The owning thread
// may lock again; every Lock is matched by one Unlock.
class ILock {
public:
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
    virtual bool TryLock() = 0;

protected:
    ~ILock() {}
};

// A critical section with a spin count of 4000 on Windows, a recursive mutex
// elsewhere. Construction throws the integer 1 when it cannot be created.
class CCritSection : public ILock {
public:
    CCritSection();
    virtual ~CCritSection();
    void Lock() override;
    void Unlock() override;
    bool TryLock() override;

private:
    CCritSection(const CCritSection&) = delete;
    CCritSection& operator=(const CCritSection&) = delete;

    qxplat::RecursiveMutex m_Mutex;
};

class CAutoLock {
public:
    explicit CAutoLock(ILock* lock) : m_pLock(lock)
    {
        if (m_pLock)
            m_pLock->Lock();
    }
    ~CAutoLock()
    {
        if (m_pLock)
            m_pLock->Unlock();
    }

private:
    CAutoLock(const CAutoLock&) = delete;
    CAutoLock& operator=(const CAutoLock&) = delete;
    ILock* m_pLock;
};

class CTryLock {
public:
    explicit CTryLock(ILock* lock) : m_pLock(nullptr)
    {
        if (lock && lock->TryLock())
            m_pLock = lock;
    }
    ~CTryLock()
    {
        if (m_pLock)
            m_pLock->Unlock();
    }
    bool IsLocked() const { return m_pLock != nullptr; }

private:
    CTryLock(const CTryLock&) = delete;
    CTryLock& operator=(const CTryLock&) = delete;
    ILock* m_pLock;
};
