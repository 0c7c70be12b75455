#pragma once

#include <mutex>

namespace Zovazaz
{

// A recursive lock: the thread that holds it may enter it again, each enter
// needing its own leave; other threads wait. It also answers to the standard
// lock names, so std::lock_guard and std::unique_lock take it.
class LightMutex
{
  public:
    void Lock() { mutex_.lock(); }
    void Unlock() { mutex_.unlock(); }
    // Enters without waiting; false when another thread holds the lock.
    bool TryLock() { return mutex_.try_lock(); }

    void lock() { Lock(); }
    void unlock() { Unlock(); }
    bool try_lock() { return TryLock(); }

  private:
    std::recursive_mutex mutex_;
};

// Holds a LightMutex for its scope.
class ScopedLock
{
  public:
    explicit ScopedLock(LightMutex& mutex) : guard_(mutex) {}

  private:
    std::lock_guard<LightMutex> guard_;
};

} // namespace Zovazaz
