#include "support/Locks.h"

#include <future>
#include <thread>

#include <gtest/gtest.h>

using namespace Zovazaz;

namespace
{

bool TryLockFromAnotherThread(LightMutex& mutex)
{
    return std::async(std::launch::async,
                      [&mutex]
                      {
                          const bool entered = mutex.TryLock();
                          if (entered)
                          {
                              mutex.Unlock();
                          }
                          return entered;
                      })
        .get();
}

} // namespace

TEST(LightMutex, TheHoldingThreadMayEnterAgainWithoutBlocking)
{
    LightMutex mutex;
    ScopedLock outer(mutex);
    ScopedLock inner(mutex);

    EXPECT_TRUE(mutex.TryLock());
    mutex.Unlock();
}

TEST(LightMutex, EachEnterNeedsItsOwnLeaveBeforeOthersGetIn)
{
    LightMutex mutex;
    mutex.Lock();
    mutex.Lock();

    mutex.Unlock();
    EXPECT_FALSE(TryLockFromAnotherThread(mutex));

    mutex.Unlock();
    EXPECT_TRUE(TryLockFromAnotherThread(mutex));
}

TEST(LightMutex, ScopedLocksKeepConcurrentUpdatesWhole)
{
    LightMutex mutex;
    long counter = 0;
    const auto work = [&]
    {
        for (int i = 0; i < 100000; ++i)
        {
            ScopedLock lock(mutex);
            ++counter;
        }
    };
    std::thread first(work);
    std::thread second(work);
    first.join();
    second.join();

    EXPECT_EQ(counter, 200000);
}
