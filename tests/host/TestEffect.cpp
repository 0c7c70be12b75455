#include "tests/host/TestEffect.h"

#include <cstring>

namespace HostTest
{

TestEffect& Effect()
{
    static TestEffect effect;
    return effect;
}

PF_Err TestEntryPoint(PF_Cmd command, PF_InData* in, PF_OutData* out, PF_ParamDef* params[],
                      PF_LayerDef* output, void* extra)
{
    Effect().commands.push_back(command);
    const Handler& handler = Effect().handler;
    return handler ? handler(command, in, out, params, output, extra) : PF_Err_NONE;
}

HostWithTestEffect::HostWithTestEffect()
{
    Effect() = TestEffect{};
    host_ = std::make_unique<EffectHost::Host>();
    host_->UseEntryPoint(TestEntryPoint, nullptr, "/opt/effects/Test.so");
}

HostWithTestEffect::~HostWithTestEffect()
{
    // The handler may refer to the finished test's locals: unload without it.
    Effect().handler = nullptr;
    host_.reset();
    Effect() = TestEffect{};
}

namespace
{
PF_ParamDef Named(const char* name, PF_ParamType type, A_long id)
{
    PF_ParamDef def{};
    def.param_type = type;
    def.uu.id = id;
    def.flags = PF_ParamFlag_SUPERVISE;
    std::strncpy(def.name, name, sizeof def.name - 1);
    return def;
}
} // namespace

PF_Err HostWithTestEffect::AddSlider(PF_InData* in, const char* name, double low, double high,
                                     double value, A_long id)
{
    PF_ParamDef def = Named(name, PF_Param_FLOAT_SLIDER, id);
    def.u.fs_d.valid_min = def.u.fs_d.slider_min = static_cast<float>(low);
    def.u.fs_d.valid_max = def.u.fs_d.slider_max = static_cast<float>(high);
    def.u.fs_d.value = value;
    def.u.fs_d.dephault = static_cast<float>(value);
    return in->inter.add_param(in->effect_ref, -1, &def);
}

PF_Err HostWithTestEffect::AddPopup(PF_InData* in, const char* name, const char* items,
                                    A_short count, A_long id)
{
    PF_ParamDef def = Named(name, PF_Param_POPUP, id);
    def.u.pd.num_choices = count;
    def.u.pd.value = 1;
    def.u.pd.dephault = 1;
    def.u.pd.u.namesptr = items;
    return in->inter.add_param(in->effect_ref, -1, &def);
}

PF_Err HostWithTestEffect::AddCheckbox(PF_InData* in, const char* name, bool value, A_long id)
{
    PF_ParamDef def = Named(name, PF_Param_CHECKBOX, id);
    def.u.bd.value = value;
    def.u.bd.dephault = value;
    def.u.bd.u.nameptr = "";
    return in->inter.add_param(in->effect_ref, -1, &def);
}

void HostWithTestEffect::ApplyThreeControls()
{
    Effect().handler = [](PF_Cmd command, PF_InData* in, PF_OutData* out, auto...) -> PF_Err
    {
        if (command != PF_Cmd_PARAMS_SETUP)
        {
            return PF_Err_NONE;
        }
        // The item text lives in a buffer the effect reuses, so the host must
        // keep its own copy.
        char items[64];
        std::strcpy(items, "Fast|Balanced|Careful");
        PF_Err error = AddSlider(in, "Bitrate", 500, 50000, 1500, 1);
        error = error ? error : AddPopup(in, "Speed", items, 3, 10);
        std::memset(items, 'x', sizeof items - 1);
        error = error ? error : AddCheckbox(in, "Reorder", true, 13);
        out->num_params = 4;
        return error;
    };
    ASSERT_EQ(host_->ParamsSetup().error, PF_Err_NONE);
    Effect().handler = nullptr;
}

} // namespace HostTest
