#pragma once
// Scoped holders for the library's locks: a kernel mutex waited for without time-out, and a
// critical section. Either may be given null (an entry whose mutex was closed by
// DEC_FreeLibrary, for instance); the holder then guards nothing, as a wait on a closed
// handle would.

#include "platform/Sync.h"

class CMutexLock {
public:
    explicit CMutexLock(platform::Mutex* mutex) : mutex_(mutex)
    {
        if (mutex_ != nullptr && platform::WaitForOne(mutex_, platform::INFINITE) == platform::WAIT_FAILED)
            mutex_ = nullptr;
    }
    CMutexLock(const CMutexLock&) = delete;
    CMutexLock& operator=(const CMutexLock&) = delete;
    ~CMutexLock()
    {
        if (mutex_ != nullptr)
            mutex_->Release();
    }

private:
    platform::Mutex* mutex_;
};

class CCriticalSectionLock {
public:
    explicit CCriticalSectionLock(platform::CriticalSection& section) : section_(section) { section_.Enter(); }
    CCriticalSectionLock(const CCriticalSectionLock&) = delete;
    CCriticalSectionLock& operator=(const CCriticalSectionLock&) = delete;
    ~CCriticalSectionLock() { section_.Leave(); }

private:
    platform::CriticalSection& section_;
};
