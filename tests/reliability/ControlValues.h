#pragma once

#include <stdexcept>
#include <string>

#include "host/Host.h"

namespace Reliability
{

// A control's value as a number, as ChangeParameter takes it.
inline double ControlValue(const EffectHost::Host& host, int position)
{
    const PF_ParamDef& def = host.Parameter(position);
    switch (def.param_type)
    {
    case PF_Param_FLOAT_SLIDER:
        return def.u.fs_d.value;
    case PF_Param_POPUP:
        return def.u.pd.value;
    case PF_Param_CHECKBOX:
        return def.u.bd.value;
    default:
        throw std::logic_error("control " + std::to_string(position) + " has no value");
    }
}

} // namespace Reliability
