#include "AE_PluginProperties.h"

namespace
{

constexpr PF_Property Long(A_u_long key, A_u_long value)
{
    return PF_Property{PF_VENDOR_ADOBE, key, PF_PropertyValue_LONG, static_cast<A_long>(value),
                       nullptr};
}

constexpr PF_Property String(A_u_long key, const char* value)
{
    return PF_Property{PF_VENDOR_ADOBE, key, PF_PropertyValue_STRING, 0, value};
}

// The effect's properties, in the order the host expects them.
constexpr PF_Property Properties[] = {
    Long(PF_PROP_KIND, PF_EFFECT_KIND),
    String(PF_PROP_NAME, "Ruzirazu"),
    String(PF_PROP_CATEGORY, "Ruzirazu"),
    String(PF_PROP_ENTRY_POINT, "EntryPointFunc"),
    Long(PF_PROP_PF_VERSION, 2),
    Long(PF_PROP_SPEC_VERSION, 13 << 16 | 1),
    Long(PF_PROP_EFFECT_VERSION, PF_VERSION(1, 0, 0, 0, 0)),
    Long(PF_PROP_INFO_FLAGS, 0),
    Long(PF_PROP_GLOBAL_FLAGS, PF_OutFlag_WIDE_TIME_INPUT | PF_OutFlag_CUSTOM_UI),
    Long(PF_PROP_GLOBAL_FLAGS2, PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG |
                                    PF_OutFlag2_PPRO_DO_NOT_CLONE_SEQUENCE_DATA_FOR_RENDER),
    String(PF_PROP_MATCH_NAME, "ADBE Compression Viewer"),
    Long(PF_PROP_AE_RESERVED, 0),
};

constexpr A_long PropertyListResourceId = 16000;
constexpr A_long PropertyListVersion = 0;

} // namespace

PF_EXPORT const PF_PropertyList PluginPropertyList = {
    PropertyListResourceId, PropertyListVersion,
    static_cast<A_long>(sizeof(Properties) / sizeof(Properties[0])), Properties};
