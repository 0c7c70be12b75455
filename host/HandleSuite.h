#pragma once

#include <map>
#include <memory>
#include <string>

#include "AE_EffectSuites.h"
#include "host/Host.h"

namespace EffectHost
{

// "PF Handle Suite" v2 with the accounting a test needs: live handles, bytes
// outstanding, locks, and an injectable allocation failure. A handle is the
// address of the host's pointer to the block, as the API defines it.
class HandleSuite
{
  public:
    explicit HandleSuite(Host& host);
    HandleSuite(const HandleSuite&) = delete;
    HandleSuite& operator=(const HandleSuite&) = delete;

    const PF_HandleSuite2* Table() const noexcept { return &table_; }

    HandleAccounting Accounting() const;
    void FailNewAt(int k) noexcept { failCountdown_ = k; }
    // "N handles (B bytes) still alive", or empty when none are.
    std::string LeakReport() const;

  private:
    PF_Handle New(A_HandleSize size);
    void* Lock(PF_Handle handle);
    void Unlock(PF_Handle handle);
    void Dispose(PF_Handle handle);
    A_HandleSize Size(PF_Handle handle);
    PF_Err Resize(A_HandleSize size, PF_Handle* handle);

    static PF_Handle OnNew(A_HandleSize size);
    static void* OnLock(PF_Handle handle);
    static void OnUnlock(PF_Handle handle);
    static void OnDispose(PF_Handle handle);
    static A_HandleSize OnSize(PF_Handle handle);
    static PF_Err OnResize(A_HandleSize size, PF_Handle* handle);

    struct Block
    {
        void* pointer = nullptr; // the handle points here
        std::unique_ptr<std::uint8_t[]> memory;
        A_HandleSize size = 0;
        int locks = 0;
    };
    Block* Find(PF_Handle handle, const char* operation);

    Host& host_;
    PF_HandleSuite2 table_{};
    std::map<PF_Handle, std::unique_ptr<Block>> blocks_;
    int failCountdown_ = 0;
    int created_ = 0;
    int disposed_ = 0;
    int failed_ = 0;
};

} // namespace EffectHost
