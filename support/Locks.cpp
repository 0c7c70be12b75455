#include "support/Locks.h"

#include <mutex>

namespace Zovazaz
{

struct LightMutex::Impl
{
    std::recursive_mutex mutex;
};

LightMutex::LightMutex() : impl_(std::make_shared<Impl>()) {}

LightMutex::~LightMutex() = default;

void LightMutex::Lock()
{
    impl_->mutex.lock();
}

void LightMutex::Unlock()
{
    impl_->mutex.unlock();
}

bool LightMutex::TryLock()
{
    return impl_->mutex.try_lock();
}

} // namespace Zovazaz
