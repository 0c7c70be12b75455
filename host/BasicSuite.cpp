#include "host/BasicSuite.h"

#include <algorithm>
#include <cstring>

#include <fmt/format.h>

#include "host/Guard.h"

namespace EffectHost
{

namespace
{
// Answered for a call the host cannot honour (a bad pointer, an unknown block).
constexpr SPErr BadParameterError = PF_Err_BAD_CALLBACK_PARAM;
constexpr SPErr OutOfMemoryError = PF_Err_OUT_OF_MEMORY;

BasicSuite* ActiveSuite()
{
    Host* host = Host::Active();
    return host ? &host->Suites() : nullptr;
}
} // namespace

BasicSuite::BasicSuite(Host& host) : host_(host)
{
    table_.AcquireSuite = OnAcquireSuite;
    table_.ReleaseSuite = OnReleaseSuite;
    table_.IsEqual = OnIsEqual;
    table_.AllocateBlock = OnAllocateBlock;
    table_.FreeBlock = OnFreeBlock;
    table_.ReallocateBlock = OnReallocateBlock;
    table_.Undefined = OnUndefined;
}

void BasicSuite::Offer(const std::string& name, std::int32_t version, const void* suite)
{
    suites_[{name, version}] = suite;
}

SuiteUse BasicSuite::Usage(const std::string& name) const
{
    const auto found = usage_.find(name);
    return found != usage_.end() ? found->second : SuiteUse{};
}

std::string BasicSuite::UnbalancedReport() const
{
    std::string report;
    for (const auto& [name, use] : usage_)
    {
        if (use.acquired != use.released)
        {
            if (!report.empty())
            {
                report += "; ";
            }
            report += fmt::format("{} acquired {} times, released {} times", name, use.acquired,
                                  use.released);
        }
    }
    return report;
}

SPErr BasicSuite::Acquire(const char* name, std::int32_t version, const void** suite)
{
    if (!suite)
    {
        return BadParameterError;
    }
    *suite = nullptr;
    if (!name)
    {
        return BadParameterError;
    }
    SuiteUse& use = usage_[name];
    const auto found = suites_.find({name, version});
    if (withheld_.contains(name) || found == suites_.end())
    {
        ++use.refused;
        return kSPSuiteNotFoundError;
    }
    ++use.acquired;
    *suite = found->second;
    return kSPNoError;
}

SPErr BasicSuite::Release(const char* name, std::int32_t version)
{
    if (!name || !suites_.contains({name, version}))
    {
        host_.Report(MessageKind::Defect,
                     fmt::format("ReleaseSuite of a suite the host does not offer: {} v{}",
                                 name ? name : "(null)", version));
        return kSPSuiteNotFoundError;
    }
    SuiteUse& use = usage_[name];
    if (use.released >= use.acquired)
    {
        host_.Report(MessageKind::Defect,
                     std::string(name) + " released more often than it was acquired");
        return BadParameterError;
    }
    ++use.released;
    return kSPNoError;
}

SPErr BasicSuite::AllocateBlock(std::size_t size, void** block)
{
    if (!block)
    {
        return BadParameterError;
    }
    Block owned;
    owned.size = size;
    owned.memory = std::make_unique<std::uint8_t[]>(std::max<std::size_t>(size, 1));
    *block = owned.memory.get();
    blocks_.emplace(*block, std::move(owned));
    return kSPNoError;
}

SPErr BasicSuite::FreeBlock(void* block)
{
    if (blocks_.erase(block) == 0)
    {
        host_.Report(MessageKind::Defect, "FreeBlock of a block the host did not allocate");
        return BadParameterError;
    }
    return kSPNoError;
}

SPErr BasicSuite::ReallocateBlock(void* block, std::size_t size, void** newBlock)
{
    if (!newBlock)
    {
        return BadParameterError;
    }
    if (!block)
    {
        return AllocateBlock(size, newBlock);
    }
    const auto found = blocks_.find(block);
    if (found == blocks_.end())
    {
        host_.Report(MessageKind::Defect, "ReallocateBlock of a block the host did not allocate");
        return BadParameterError;
    }
    void* fresh = nullptr;
    if (AllocateBlock(size, &fresh) != kSPNoError)
    {
        return OutOfMemoryError;
    }
    std::memcpy(fresh, block, std::min(size, found->second.size));
    blocks_.erase(found);
    *newBlock = fresh;
    return kSPNoError;
}

SPErr BasicSuite::OnAcquireSuite(const char* name, std::int32_t version, const void** suite)
{
    return Guarded(
        [&]() -> SPErr
        {
            BasicSuite* self = ActiveSuite();
            if (!self)
            {
                if (suite)
                {
                    *suite = nullptr;
                }
                return kSPSuiteNotFoundError;
            }
            return self->Acquire(name, version, suite);
        });
}

SPErr BasicSuite::OnReleaseSuite(const char* name, std::int32_t version)
{
    return Guarded(
        [&]() -> SPErr
        {
            BasicSuite* self = ActiveSuite();
            return self ? self->Release(name, version) : kSPSuiteNotFoundError;
        });
}

SPBoolean BasicSuite::OnIsEqual(const char* token1, const char* token2)
{
    return Guarded<SPBoolean>(SPBoolean{0},
                              [&]() -> SPBoolean
                              { return token1 && token2 && std::strcmp(token1, token2) == 0; });
}

SPErr BasicSuite::OnAllocateBlock(std::size_t size, void** block)
{
    return Guarded(
        [&]() -> SPErr
        {
            BasicSuite* self = ActiveSuite();
            return self ? self->AllocateBlock(size, block) : OutOfMemoryError;
        });
}

SPErr BasicSuite::OnFreeBlock(void* block)
{
    return Guarded(
        [&]() -> SPErr
        {
            BasicSuite* self = ActiveSuite();
            return self ? self->FreeBlock(block) : BadParameterError;
        });
}

SPErr BasicSuite::OnReallocateBlock(void* block, std::size_t size, void** newBlock)
{
    return Guarded(
        [&]() -> SPErr
        {
            BasicSuite* self = ActiveSuite();
            return self ? self->ReallocateBlock(block, size, newBlock) : OutOfMemoryError;
        });
}

SPErr BasicSuite::OnUndefined()
{
    return Guarded([&]() -> SPErr { return BadParameterError; });
}

} // namespace EffectHost
