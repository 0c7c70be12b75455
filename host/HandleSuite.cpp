#include "host/HandleSuite.h"

#include <algorithm>
#include <cstring>
#include <new>

#include <fmt/format.h>

#include "host/Guard.h"

namespace EffectHost
{

namespace
{
HandleSuite* ActiveSuite()
{
    Host* host = Host::Active();
    return host ? &host->HandleStore() : nullptr;
}
} // namespace

HandleSuite::HandleSuite(Host& host) : host_(host)
{
    table_.host_new_handle = OnNew;
    table_.host_lock_handle = OnLock;
    table_.host_unlock_handle = OnUnlock;
    table_.host_dispose_handle = OnDispose;
    table_.host_get_handle_size = OnSize;
    table_.host_resize_handle = OnResize;
}

HandleAccounting HandleSuite::Accounting() const
{
    HandleAccounting accounting;
    accounting.created = created_;
    accounting.disposed = disposed_;
    accounting.failedAllocations = failed_;
    for (const auto& [handle, block] : blocks_)
    {
        ++accounting.liveHandles;
        accounting.bytesOutstanding += block->size;
        accounting.totalLocks += block->locks;
        accounting.lockedHandles += block->locks > 0 ? 1 : 0;
    }
    return accounting;
}

std::string HandleSuite::LeakReport() const
{
    const HandleAccounting accounting = Accounting();
    if (accounting.liveHandles == 0)
    {
        return {};
    }
    return fmt::format("{} memory handle(s) ({} bytes) still alive", accounting.liveHandles,
                       accounting.bytesOutstanding);
}

HandleSuite::Block* HandleSuite::Find(PF_Handle handle, const char* operation)
{
    const auto found = blocks_.find(handle);
    if (found == blocks_.end())
    {
        host_.Report(MessageKind::Defect,
                     std::string(operation) + " of a handle that the host does not hold");
        return nullptr;
    }
    return found->second.get();
}

PF_Handle HandleSuite::New(A_HandleSize size)
{
    if (failCountdown_ > 0 && --failCountdown_ == 0)
    {
        ++failed_;
        return nullptr;
    }
    auto block = std::make_unique<Block>();
    // A zero-byte handle still gets a distinct, valid block pointer.
    block->memory.reset(new (std::nothrow) std::uint8_t[std::max<A_HandleSize>(size, 1)]());
    if (!block->memory)
    {
        ++failed_;
        return nullptr;
    }
    block->pointer = block->memory.get();
    block->size = size;
    PF_Handle handle = &block->pointer;
    blocks_.emplace(handle, std::move(block));
    ++created_;
    return handle;
}

void* HandleSuite::Lock(PF_Handle handle)
{
    Block* block = Find(handle, "host_lock_handle");
    if (!block)
    {
        return nullptr;
    }
    ++block->locks;
    return block->pointer;
}

void HandleSuite::Unlock(PF_Handle handle)
{
    Block* block = Find(handle, "host_unlock_handle");
    if (!block)
    {
        return;
    }
    if (block->locks == 0)
    {
        host_.Report(MessageKind::Defect, "host_unlock_handle of a handle that is not locked");
        return;
    }
    --block->locks;
}

void HandleSuite::Dispose(PF_Handle handle)
{
    Block* block = Find(handle, "host_dispose_handle");
    if (!block)
    {
        return;
    }
    if (block->locks > 0)
    {
        host_.Report(MessageKind::Defect, "host_dispose_handle of a handle that is still locked");
    }
    blocks_.erase(handle);
    ++disposed_;
}

A_HandleSize HandleSuite::Size(PF_Handle handle)
{
    Block* block = Find(handle, "host_get_handle_size");
    return block ? block->size : 0;
}

PF_Err HandleSuite::Resize(A_HandleSize size, PF_Handle* handle)
{
    if (!handle)
    {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    Block* block = Find(*handle, "host_resize_handle");
    if (!block)
    {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (block->locks > 0)
    {
        // Moving a locked block would pull the memory from under its user.
        host_.Report(MessageKind::Defect, "host_resize_handle of a handle that is locked");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    std::unique_ptr<std::uint8_t[]> memory(new (std::nothrow)
                                               std::uint8_t[std::max<A_HandleSize>(size, 1)]());
    if (!memory)
    {
        return PF_Err_OUT_OF_MEMORY;
    }
    std::memcpy(memory.get(), block->memory.get(), std::min(size, block->size));
    block->memory = std::move(memory);
    block->pointer = block->memory.get();
    block->size = size;
    return PF_Err_NONE;
}

PF_Handle HandleSuite::OnNew(A_HandleSize size)
{
    return Guarded<PF_Handle>(nullptr,
                              [&]() -> PF_Handle
                              {
                                  HandleSuite* self = ActiveSuite();
                                  return self ? self->New(size) : nullptr;
                              });
}

void* HandleSuite::OnLock(PF_Handle handle)
{
    return Guarded<void*>(nullptr,
                          [&]() -> void*
                          {
                              HandleSuite* self = ActiveSuite();
                              return self ? self->Lock(handle) : nullptr;
                          });
}

void HandleSuite::OnUnlock(PF_Handle handle)
{
    Guarded(
        [&]
        {
            if (HandleSuite* self = ActiveSuite())
            {
                self->Unlock(handle);
            }
        });
}

void HandleSuite::OnDispose(PF_Handle handle)
{
    Guarded(
        [&]
        {
            if (HandleSuite* self = ActiveSuite())
            {
                self->Dispose(handle);
            }
        });
}

A_HandleSize HandleSuite::OnSize(PF_Handle handle)
{
    return Guarded<A_HandleSize>(A_HandleSize{0},
                                 [&]() -> A_HandleSize
                                 {
                                     HandleSuite* self = ActiveSuite();
                                     return self ? self->Size(handle) : 0;
                                 });
}

PF_Err HandleSuite::OnResize(A_HandleSize size, PF_Handle* handle)
{
    return Guarded(
        [&]() -> PF_Err
        {
            HandleSuite* self = ActiveSuite();
            return self ? self->Resize(size, handle) : PF_Err_BAD_CALLBACK_PARAM;
        });
}

} // namespace EffectHost
