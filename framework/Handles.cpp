#include "framework/Handles.h"

#include <cstring>
#include <utility>

#include "framework/Errors.h"
#include "framework/Plugin.h"

void HandleUnlocker::operator()(void*) const noexcept
{
    if (suite != nullptr && handle != nullptr)
    {
        suite->host_unlock_handle(handle);
    }
}

namespace
{

PF_HandleSuite2* GetInstanceHandleSuite()
{
    Plugin* plugin = GetPluginInstance();
    if (plugin == nullptr)
    {
        THROW_ADOBE_EXCEPTION(ErrorInternal, "Host memory needs a plug-in instance");
    }
    return plugin->GetSuites().GetHandleSuite();
}

} // namespace

HostHandle::HostHandle(std::uint64_t size)
{
    Reset(size);
}

void HostHandle::Reset(std::uint64_t size)
{
    Release();
    PF_HandleSuite2* suite = GetInstanceHandleSuite();
    PF_Handle handle = suite->host_new_handle(size);
    if (handle == nullptr)
    {
        return;
    }
    // The disposer keeps the suite it was made with: the instance may already
    // be on its way out (its members are destroyed before its suites) when
    // the last owner goes.
    handle_ = std::shared_ptr<std::remove_pointer_t<PF_Handle>>(
        handle, [suite](PF_Handle owned) { suite->host_dispose_handle(owned); });
    suite_ = suite;
    size_ = size;
}

void HostHandle::Release() noexcept
{
    handle_.reset();
    suite_ = nullptr;
    size_ = 0;
}

LockedHandle HostHandle::Lock() const
{
    if (!handle_)
    {
        THROW_ADOBE_EXCEPTION(ErrorInternal, "Lock of an empty host handle");
    }
    void* memory = suite_->host_lock_handle(handle_.get());
    if (memory == nullptr)
    {
        throw static_cast<std::int32_t>(PF_Err_OUT_OF_MEMORY);
    }
    // The lock also keeps the handle alive, so its memory cannot be disposed
    // under a caller that still reads it.
    auto owner = handle_;
    return LockedHandle(memory, [unlocker = HandleUnlocker{suite_, handle_.get()},
                                 owner](void* locked) { unlocker(locked); });
}

ParameterCheckout::ParameterCheckout(PF_InData* in_data, PF_ParamIndex position, A_long time)
    : inData_(in_data)
{
    std::memset(&def_, 0, sizeof(def_));
    THROW_IF_HOST_ERROR(in_data->inter.checkout_param(
        in_data->effect_ref, position, time, in_data->time_step, in_data->time_scale, &def_));
}

ParameterCheckout::ParameterCheckout(ParameterCheckout&& other) noexcept
    : inData_(std::exchange(other.inData_, nullptr)), def_(other.def_)
{
}

ParameterCheckout::~ParameterCheckout()
{
    if (inData_ != nullptr)
    {
        inData_->inter.checkin_param(inData_->effect_ref, &def_);
    }
}
