#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "AE_Effect.h"
#include "AE_EffectSuites.h"
#include "host/Host.h"
#include "gtest/gtest.h"

// A tiny effect written against the raw C API, linked into the test. Each test
// says what it does by setting the handler; the entry point records every
// command it receives.
namespace HostTest
{

using Handler =
    std::function<PF_Err(PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*)>;

struct TestEffect
{
    Handler handler;
    std::vector<PF_Cmd> commands;
};
TestEffect& Effect();

PF_Err TestEntryPoint(PF_Cmd command, PF_InData* in, PF_OutData* out, PF_ParamDef* params[],
                      PF_LayerDef* output, void* extra);

template <class Suite> const Suite* Acquire(PF_InData* in, const char* name, int version)
{
    const void* suite = nullptr;
    const bool found = in->pica_basicP->AcquireSuite(name, version, &suite) == 0;
    return found ? static_cast<const Suite*>(suite) : nullptr;
}

// A host driving the test effect, with the effect's handler reset.
class HostWithTestEffect : public ::testing::Test
{
  protected:
    HostWithTestEffect();
    ~HostWithTestEffect() override;

    // Adds a float slider at the next position, supervised.
    static PF_Err AddSlider(PF_InData* in, const char* name, double low, double high, double value,
                            A_long id);
    static PF_Err AddPopup(PF_InData* in, const char* name, const char* items, A_short count,
                           A_long id);
    static PF_Err AddCheckbox(PF_InData* in, const char* name, bool value, A_long id);
    // Applies the effect with a slider (1), a popup (2) and a checkbox (3).
    void ApplyThreeControls();

    std::unique_ptr<EffectHost::Host> host_;
};

} // namespace HostTest
