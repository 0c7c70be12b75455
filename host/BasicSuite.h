#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "SPBasic.h"
#include "host/Host.h"

namespace EffectHost
{

// The SPBasicSuite handed to the effect in in_data->pica_basicP: every other
// suite by name and version, with per-suite acquisition and release counts.
// Its functions carry no handle, so they reach the active Host.
class BasicSuite
{
  public:
    explicit BasicSuite(Host& host);
    BasicSuite(const BasicSuite&) = delete;
    BasicSuite& operator=(const BasicSuite&) = delete;

    SPBasicSuite* Table() noexcept { return &table_; }

    // `suite` must outlive this object.
    void Offer(const std::string& name, std::int32_t version, const void* suite);
    void Withhold(const std::string& name) { withheld_.insert(name); }
    void Unwithhold(const std::string& name) { withheld_.erase(name); }
    SuiteUse Usage(const std::string& name) const;
    // "name vN acquired A times, released R times" for every suite whose
    // acquisitions and releases differ; empty when all are balanced.
    std::string UnbalancedReport() const;

  private:
    SPErr Acquire(const char* name, std::int32_t version, const void** suite);
    SPErr Release(const char* name, std::int32_t version);
    SPErr AllocateBlock(std::size_t size, void** block);
    SPErr FreeBlock(void* block);
    SPErr ReallocateBlock(void* block, std::size_t size, void** newBlock);

    static SPErr OnAcquireSuite(const char* name, std::int32_t version, const void** suite);
    static SPErr OnReleaseSuite(const char* name, std::int32_t version);
    static SPBoolean OnIsEqual(const char* token1, const char* token2);
    static SPErr OnAllocateBlock(std::size_t size, void** block);
    static SPErr OnFreeBlock(void* block);
    static SPErr OnReallocateBlock(void* block, std::size_t size, void** newBlock);
    static SPErr OnUndefined();

    struct Block
    {
        std::unique_ptr<std::uint8_t[]> memory;
        std::size_t size = 0;
    };

    Host& host_;
    SPBasicSuite table_{};
    std::map<std::pair<std::string, std::int32_t>, const void*> suites_;
    std::set<std::string> withheld_;
    std::map<std::string, SuiteUse> usage_;
    std::map<void*, Block> blocks_;
};

} // namespace EffectHost
