#include "framework/Parameters.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "framework/Errors.h"
#include "framework/Plugin.h"
#include "support/StringsResource.h"

namespace
{

// Height of one line of a static area, in host UI units.
constexpr A_short StaticLineHeight = 15;
constexpr A_short StaticWidthAfterEffects = 150;
constexpr A_short StaticWidthPremiere = 300;
// The longest description the name field takes, one below its capacity.
constexpr std::size_t MaxDescriptionLength = PF_MAX_EFFECT_PARAM_NAME_LEN - 1;

std::string GetResourceText(std::uint32_t id)
{
    const char* text = Zovazaz::StringsResource::GetInstance().GetNarrowString(id);
    return text != nullptr ? std::string(text) : std::string();
}

PF_ParamFlags ValueFlags(const ParameterDescriptor& descriptor)
{
    PF_ParamFlags flags = PF_ParamFlag_SUPERVISE;
    if ((descriptor.flags & ParameterFlag_Animatable) == 0)
    {
        flags |= PF_ParamFlag_CANNOT_TIME_VARY;
    }
    return flags;
}

PF_ParamFlags CollapseFlag(const ParameterDescriptor& descriptor)
{
    return (descriptor.flags & ParameterFlag_Collapsed) != 0 ? PF_ParamFlag_COLLAPSE_TWIRLY : 0;
}

void FillSlider(PF_ParamDef& def, const NumberSpec& spec)
{
    def.param_type = PF_Param_FLOAT_SLIDER;
    PF_FloatSliderDef& slider = def.u.fs_d;
    slider.valid_min = slider.slider_min = spec.minimum;
    slider.valid_max = slider.slider_max = spec.maximum;
    slider.value = spec.defaultValue;
    slider.dephault = spec.defaultValue;
    slider.precision = static_cast<A_short>(spec.precision);
    slider.display_flags = 0;
    slider.curve_tolerance = 0.05f;
}

std::int32_t TruncateToInt(double value)
{
    if (std::isnan(value))
    {
        return 0;
    }
    const double truncated = std::trunc(value);
    if (truncated <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
    {
        return std::numeric_limits<std::int32_t>::min();
    }
    if (truncated >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
    {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(truncated);
}

} // namespace

// ------------------------------------------------------- value conversion

template <> std::int32_t GetParameterValue<std::int32_t>(const PF_ParamDef& def)
{
    switch (def.param_type)
    {
    case PF_Param_POPUP:
        return def.u.pd.value;
    case PF_Param_FLOAT_SLIDER:
        return TruncateToInt(def.u.fs_d.value);
    default:
        THROW_ADOBE_EXCEPTION(ErrorInternal, "Parameter type %d not supported", def.param_type);
    }
}

template <> bool GetParameterValue<bool>(const PF_ParamDef& def)
{
    if (def.param_type != PF_Param_CHECKBOX)
    {
        THROW_ADOBE_EXCEPTION(ErrorInternal, "def.param_type == PF_Param_CHECKBOX");
    }
    return def.u.bd.value != 0;
}

template <> PF_LayerDef* GetParameterValue<PF_LayerDef*>(const PF_ParamDef& def)
{
    if (def.param_type != PF_Param_LAYER)
    {
        THROW_ADOBE_EXCEPTION(ErrorInternal, "def.param_type == PF_Param_LAYER");
    }
    return const_cast<PF_LayerDef*>(&def.u.ld);
}

bool SetParameterValue(PF_ParamDef& def, std::int32_t value)
{
    bool changed = false;
    switch (def.param_type)
    {
    case PF_Param_POPUP:
        changed = def.u.pd.value != value;
        def.u.pd.value = value;
        break;
    case PF_Param_FLOAT_SLIDER:
        changed = def.u.fs_d.value != static_cast<double>(value);
        def.u.fs_d.value = value;
        break;
    default:
        THROW_ADOBE_EXCEPTION(ErrorInternal, "Parameter type %d not supported", def.param_type);
    }
    if (changed)
    {
        def.uu.change_flags = PF_ChangeFlag_CHANGED_VALUE;
    }
    return changed;
}

std::string BuildPopupChoiceText(const ParameterDescriptor& descriptor)
{
    std::string text;
    for (const char* choice : descriptor.choices)
    {
        if (choice == nullptr)
        {
            break;
        }
        if (!text.empty())
        {
            text += '|';
        }
        text += choice;
    }
    return text;
}

// ------------------------------------------------------------ registration

void Plugin::OnCommand_SetupParameters()
{
    PF_InData* in = RequireInData();
    PF_OutData* out = GetOutData();
    if (out == nullptr)
    {
        THROW_ADOBE_EXCEPTION(ErrorInternal, "Parameter setup without out_data");
    }
    out->num_params = 0;
    const std::int32_t count = GetParameterCount();
    for (std::int32_t position = 1; position < count; ++position)
    {
        const ParameterDescriptor* descriptor = GetParameterDescriptor(position);
        if (descriptor == nullptr)
        {
            THROW_ADOBE_EXCEPTION(ErrorInitFailed, "Parameter descriptor %d missing", position);
        }
        if (descriptor->position != position)
        {
            THROW_ADOBE_EXCEPTION(ErrorInitFailed,
                                  "Parameter descriptor index %d doesn't match its actual "
                                  "position %d",
                                  descriptor->position, position);
        }
        switch (descriptor->type)
        {
        case ParameterType_Layer:
            // The host adds nothing for it, so every later position would
            // name the wrong def and the last one lie past the host's array.
            THROW_ADOBE_EXCEPTION(ErrorInitFailed,
                                  "Parameter descriptor %d is a layer: only position 0 holds the "
                                  "input layer",
                                  position);
        case ParameterType_GroupStart:
        {
            PF_ParamDef def{};
            def.param_type = PF_Param_GROUP_START;
            def.flags = CollapseFlag(*descriptor);
            def.uu.id = descriptor->hostId;
            const std::string name = GetResourceText(descriptor->nameId);
            in->utils->ansi.strcpy(def.name, name.substr(0, PF_MAX_EFFECT_PARAM_NAME_LEN).c_str());
            AddParameter(def, false);
            break;
        }
        case ParameterType_GroupEnd:
        {
            PF_ParamDef def{};
            def.param_type = PF_Param_GROUP_END;
            def.uu.id = descriptor->hostId;
            AddParameter(def, false);
            break;
        }
        case ParameterType_Static:
            AddStaticParameter(*descriptor);
            break;
        case ParameterType_Number:
            AddNumberParameter(*descriptor);
            break;
        case ParameterType_Button:
            AddButtonParameter(*descriptor);
            break;
        case ParameterType_Checkbox:
            AddCheckboxParameter(*descriptor);
            break;
        case ParameterType_Popup:
            AddPopupParameter(*descriptor);
            break;
        default:
            THROW_ADOBE_EXCEPTION(ErrorInitFailed, "Unsupported parameter type %d",
                                  static_cast<std::int32_t>(descriptor->type));
        }
    }

    PF_CustomUIInfo info{};
    info.events = PF_CustomEFlag_EFFECT;
    THROW_IF_HOST_ERROR(in->inter.register_ui(in->effect_ref, &info));
    out->num_params = count;
}

void Plugin::AddParameter(PF_ParamDef& def, bool ignoreHostError)
{
    PF_InData* in = RequireInData();
    const PF_Err result = in->inter.add_param(in->effect_ref, -1, &def);
    if (result != PF_Err_NONE && !ignoreHostError)
    {
        throw static_cast<std::int32_t>(result);
    }
}

namespace
{

// Copies a name with the host's string copy; the name field holds 31
// characters, so a longer text is cut rather than written past it.
void CopyName(PF_InData* in, PF_ParamDef& def, std::uint32_t nameId)
{
    const std::string name = GetResourceText(nameId).substr(0, PF_MAX_EFFECT_PARAM_NAME_LEN);
    in->utils->ansi.strcpy(def.name, name.c_str());
}

} // namespace

void Plugin::AddNumberParameter(const ParameterDescriptor& descriptor)
{
    if (descriptor.type != ParameterType_Number)
    {
        THROW_ADOBE_EXCEPTION(ErrorInternal, "descriptor.type == ParameterType_Number");
    }
    PF_InData* in = RequireInData();
    PF_ParamDef def{};
    FillSlider(def, descriptor.number);
    def.flags = ValueFlags(descriptor) | CollapseFlag(descriptor);
    def.uu.id = descriptor.hostId;
    CopyName(in, def, descriptor.nameId);
    AddParameter(def, false);
}

void Plugin::AddButtonParameter(const ParameterDescriptor& descriptor)
{
    if (descriptor.type != ParameterType_Button)
    {
        THROW_ADOBE_EXCEPTION(ErrorInternal, "descriptor.type == ParameterType_Button");
    }
    PF_InData* in = RequireInData();
    PF_ParamDef def{};
    def.param_type = PF_Param_BUTTON;
    def.flags = PF_ParamFlag_SUPERVISE;
    def.ui_flags = 0;
    def.uu.id = descriptor.hostId;
    const std::string label = GetResourceText(descriptor.labelId);
    def.u.button_d.u.namesptr = label.c_str();
    CopyName(in, def, descriptor.nameId);
    AddParameter(def, false);
}

void Plugin::AddCheckboxParameter(const ParameterDescriptor& descriptor)
{
    if (descriptor.type != ParameterType_Checkbox)
    {
        THROW_ADOBE_EXCEPTION(ErrorInternal, "descriptor.type == ParameterType_Checkbox");
    }
    PF_InData* in = RequireInData();
    PF_ParamDef def{};
    def.param_type = PF_Param_CHECKBOX;
    def.flags = ValueFlags(descriptor);
    def.uu.id = descriptor.hostId;
    const bool on = descriptor.number.defaultValue != 0.0f;
    def.u.bd.value = on ? 1 : 0;
    def.u.bd.dephault = on ? 1 : 0;
    def.u.bd.u.nameptr = "";
    CopyName(in, def, descriptor.nameId);
    AddParameter(def, false);
}

void Plugin::AddPopupParameter(const ParameterDescriptor& descriptor)
{
    if (descriptor.type != ParameterType_Popup)
    {
        THROW_ADOBE_EXCEPTION(ErrorInternal, "descriptor.type == ParameterType_Popup");
    }
    PF_InData* in = RequireInData();
    PF_ParamDef def{};
    def.param_type = PF_Param_POPUP;
    def.flags = ValueFlags(descriptor);
    def.uu.id = descriptor.hostId;
    A_short choices = 0;
    while (choices < MaxPopupChoices && descriptor.choices[choices] != nullptr)
    {
        ++choices;
    }
    // The host copies the text while the parameter is added.
    const std::string text = BuildPopupChoiceText(descriptor);
    def.u.pd.num_choices = choices;
    def.u.pd.value = 1;
    def.u.pd.dephault = 1;
    def.u.pd.u.namesptr = text.c_str();
    CopyName(in, def, descriptor.nameId);
    AddParameter(def, false);
}

void Plugin::AddStaticParameter(const ParameterDescriptor& descriptor)
{
    if (descriptor.type != ParameterType_Static)
    {
        THROW_ADOBE_EXCEPTION(ErrorInternal, "descriptor.type == ParameterType_Static");
    }
    PF_InData* in = RequireInData();
    PF_ParamDef def{};
    def.ui_height =
        static_cast<A_short>(StaticLineHeight * std::max<std::int32_t>(descriptor.lineCount, 1));
    if (!IsPremiere())
    {
        FillSlider(def, descriptor.number);
        def.ui_flags = PF_PUI_CONTROL | PF_PUI_STD_CONTROL_ONLY;
        def.ui_width = StaticWidthAfterEffects;
    }
    else
    {
        def.param_type = PF_Param_ARBITRARY_DATA;
        def.ui_flags = PF_PUI_CONTROL;
        def.ui_width = StaticWidthPremiere;
        def.u.arb_d.id = static_cast<A_short>(descriptor.hostId);
    }
    def.flags = PF_ParamFlag_SUPERVISE | PF_ParamFlag_CANNOT_INTERP |
                PF_ParamFlag_CANNOT_TIME_VARY | CollapseFlag(descriptor);
    def.uu.id = descriptor.hostId;
    CopyName(in, def, descriptor.nameId);
    // A text area the host cannot show is no reason to refuse the effect.
    AddParameter(def, true);
}

// ------------------------------------------------------------- access

void Plugin::UpdateParametersUi()
{
    PF_InData* in = RequireInData();
    PF_ParamDef** params = RequireParams();
    PF_ParamUtilsSuite2* utils = GetSuites().GetParamUtilsSuite();
    const std::int32_t count = GetParameterCount();
    for (std::int32_t position = 1; position < count; ++position)
    {
        const ParameterDescriptor* descriptor = GetParameterDescriptor(position);
        if (descriptor == nullptr || params[position] == nullptr)
        {
            continue;
        }
        // The host's own def stays as it is; the host takes the copy.
        PF_ParamDef copy = *params[position];
        if (descriptor->isEnabled != nullptr)
        {
            if (descriptor->isEnabled(*this))
            {
                copy.ui_flags &= ~PF_PUI_DISABLED;
            }
            else
            {
                copy.ui_flags |= PF_PUI_DISABLED;
            }
        }
        THROW_IF_HOST_ERROR(utils->PF_UpdateParamUI(in->effect_ref, position, &copy));
    }
}

void Plugin::CheckPosition(std::int32_t position)
{
    const std::int32_t count = GetParameterCount();
    if (position < 0 || position >= count)
    {
        THROW_ADOBE_EXCEPTION(ErrorInternal,
                              "Parameter index %d is out of range, current count is %d", position,
                              count);
    }
}

std::int32_t Plugin::GetParameterValue(std::int32_t position)
{
    CheckPosition(position);
    PF_ParamDef* def = RequireParams()[position];
    if (def == nullptr)
    {
        THROW_ADOBE_EXCEPTION(ErrorInternal, "Parameter %d not given by the host", position);
    }
    return ::GetParameterValue<std::int32_t>(*def);
}

bool Plugin::SetParameterValue(std::int32_t position, std::int32_t value)
{
    CheckPosition(position);
    PF_ParamDef* def = RequireParams()[position];
    if (def == nullptr)
    {
        THROW_ADOBE_EXCEPTION(ErrorInternal, "Parameter %d not given by the host", position);
    }
    return ::SetParameterValue(*def, value);
}

void Plugin::SetParameterDescription(std::int32_t position, Zovazaz::StringRef text)
{
    CheckPosition(position);
    if (text.size() > MaxDescriptionLength)
    {
        THROW_ADOBE_EXCEPTION(ErrorInternal, "Desicription too long: %s", text.Str());
    }
    PF_ParamDef* def = RequireParams()[position];
    if (def == nullptr)
    {
        THROW_ADOBE_EXCEPTION(ErrorInternal, "Parameter %d not given by the host", position);
    }
    std::memset(def->name, 0, sizeof(def->name));
    if (!text.empty())
    {
        std::memcpy(def->name, text.data(), text.size());
    }
}
