#pragma once

#include <cstdint>
#include <memory>
#include <type_traits>

#include "AE_Effect.h"
#include "AE_EffectSuites.h"

// The memory of a locked host handle; the handle is unlocked when the last
// copy goes. Cast get() to the element type the caller stored.
using LockedHandle = std::shared_ptr<void>;

// Unlocks the handle through the suite that locked it.
struct HandleUnlocker
{
    PF_HandleSuite2* suite = nullptr;
    PF_Handle handle = nullptr;

    void operator()(void* memory) const noexcept;
};

// A shared owner of one host memory handle, disposed through "PF Handle Suite"
// when the last owner goes. Every HostHandle must be gone before the plug-in
// instance that made it.
class HostHandle
{
  public:
    HostHandle() noexcept = default;

    // Allocates through the current instance's "PF Handle Suite". A host that
    // gives no handle leaves this empty (GetSize() 0). Throws 516 without the
    // suite, AdobeException ErrorInternal without an instance.
    explicit HostHandle(std::uint64_t size);

    // Releases the held handle, then allocates as the constructor does.
    void Reset(std::uint64_t size);

    // Drops this owner's share of the handle; the size becomes 0.
    void Release() noexcept;

    // Throws AdobeException ErrorInternal for an empty handle and the int
    // PF_Err_OUT_OF_MEMORY when the host cannot lock it.
    LockedHandle Lock() const;

    std::uint64_t GetSize() const noexcept { return size_; }
    PF_Handle Get() const noexcept { return handle_ ? handle_.get() : nullptr; }
    explicit operator bool() const noexcept { return static_cast<bool>(handle_); }

  private:
    // PF_Handle is void**; the shared pointer holds it with its disposer,
    // which remembers the suite so no instance lookup is needed at disposal.
    std::shared_ptr<std::remove_pointer_t<PF_Handle>> handle_;
    PF_HandleSuite2* suite_ = nullptr;
    std::uint64_t size_ = 0;
};

// A parameter (or the input layer) that the host lends for one time; it goes
// back to the host (checkin_param) when this object is destroyed.
class ParameterCheckout
{
  public:
    // Throws the host's non-zero result as an int; nothing is checked out then.
    ParameterCheckout(PF_InData* in_data, PF_ParamIndex position, A_long time);
    ~ParameterCheckout();
    ParameterCheckout(ParameterCheckout&& other) noexcept;
    ParameterCheckout(const ParameterCheckout&) = delete;
    ParameterCheckout& operator=(const ParameterCheckout&) = delete;
    ParameterCheckout& operator=(ParameterCheckout&&) = delete;

    PF_ParamDef& def() noexcept { return def_; }
    const PF_ParamDef& def() const noexcept { return def_; }

  private:
    PF_InData* inData_;
    PF_ParamDef def_;
};
