#pragma once

#include <memory>

namespace Zovazaz
{

// A recursive lock: the thread that holds it may enter it again, each enter
// needing its own leave; other threads wait.
class LightMutex
{
  public:
    LightMutex();
    ~LightMutex();
    LightMutex(const LightMutex&) = delete;
    LightMutex& operator=(const LightMutex&) = delete;

    void Lock();
    void Unlock();
    // Enters without waiting; false when another thread holds the lock.
    bool TryLock();

  private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

class ScopedLock
{
  public:
    explicit ScopedLock(LightMutex& mutex) : mutex_(&mutex) { mutex_->Lock(); }
    ~ScopedLock() { mutex_->Unlock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

  private:
    LightMutex* mutex_;
};

} // namespace Zovazaz
