#pragma once

#include <cstdint>
#include <string>

#include "AE_Effect.h"

class Plugin;
class DrawContext;

// How the framework registers a row of an effect's parameter table.
enum ParameterType : std::int32_t
{
    ParameterType_Layer = 0,      // the host's input layer: position 0 only, not registered
    ParameterType_GroupStart = 1, // PF_Param_GROUP_START
    ParameterType_GroupEnd = 2,   // PF_Param_GROUP_END
    ParameterType_Static = 3,     // a custom-UI area drawn by the effect
    ParameterType_Number = 4,     // PF_Param_FLOAT_SLIDER
    ParameterType_Button = 5,     // PF_Param_BUTTON
    ParameterType_Checkbox = 6,   // PF_Param_CHECKBOX
    ParameterType_Popup = 7,      // PF_Param_POPUP
};

enum ParameterFlags : std::uint32_t
{
    ParameterFlag_None = 0,
    ParameterFlag_Animatable = 1u << 0, // the value may vary over time
    ParameterFlag_Collapsed = 1u << 1,  // the twirly starts closed
};

// Decides whether a control is enabled from the current values.
using IsEnabledCallback = bool (*)(Plugin& plugin);
// Draws a static parameter's control area.
using DrawCallback = void (*)(Plugin& plugin, DrawContext& context);

struct NumberSpec
{
    std::uint16_t precision = 0; // decimals shown
    float defaultValue = 0.0f;
    float minimum = 0.0f;
    float maximum = 0.0f;
};

constexpr int MaxPopupChoices = 10;

// One row of an effect's parameter table; row i describes position i.
struct ParameterDescriptor
{
    std::int32_t position = 0;
    ParameterType type = ParameterType_Layer;
    std::uint32_t nameId = 0;  // strings-resource id of the displayed name
    std::uint32_t labelId = 0; // strings-resource id of a button's label
    std::int32_t hostId = 0;   // the stable id in saved projects
    std::uint32_t flags = ParameterFlag_None;
    IsEnabledCallback isEnabled = nullptr; // null: always enabled
    DrawCallback draw = nullptr;           // null: the default static text
    NumberSpec number;
    std::int32_t lineCount = 0;                // static areas: lines of text
    const char* choices[MaxPopupChoices] = {}; // popups: ends at the first null
};

// Value conversion of a host def (a params entry or a checkout's def).
// Throw AdobeException ErrorInternal for a def of another type:
// - std::int32_t: popup item, or float slider truncated toward zero;
// - bool: checkbox;
// - PF_LayerDef*: the world inside a layer def.
template <class T> T GetParameterValue(const PF_ParamDef& def);
template <> std::int32_t GetParameterValue<std::int32_t>(const PF_ParamDef& def);
template <> bool GetParameterValue<bool>(const PF_ParamDef& def);
template <> PF_LayerDef* GetParameterValue<PF_LayerDef*>(const PF_ParamDef& def);

// Writes a popup item or a float slider value into a host def and marks it
// changed (PF_ChangeFlag_CHANGED_VALUE) when it differs. Returns whether it
// changed. Throws AdobeException ErrorInternal for other types.
bool SetParameterValue(PF_ParamDef& def, std::int32_t value);

// The popup text "A|B|..." built from a descriptor's choices.
std::string BuildPopupChoiceText(const ParameterDescriptor& descriptor);
