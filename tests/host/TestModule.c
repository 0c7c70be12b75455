/* A module loaded with dlopen by the host tests: it exports a property list
 * whose global flags differ from what its entry point answers, and reports
 * the module path the host gives it through the About text. */
#include <stdio.h>
#include <string.h>

#include "AE_Effect.h"
#include "AE_PluginProperties.h"

static const PF_Property properties[] = {
    {PF_VENDOR_ADOBE, PF_PROP_KIND, PF_PropertyValue_LONG, (A_long)PF_EFFECT_KIND, NULL},
    {PF_VENDOR_ADOBE, PF_PROP_NAME, PF_PropertyValue_STRING, 0, "Loaded Test"},
    {PF_VENDOR_ADOBE, PF_PROP_ENTRY_POINT, PF_PropertyValue_STRING, 0, "TestModuleMain"},
    {PF_VENDOR_ADOBE, PF_PROP_GLOBAL_FLAGS, PF_PropertyValue_LONG, 0x00008002, NULL},
    {PF_VENDOR_ADOBE, PF_PROP_GLOBAL_FLAGS2, PF_PropertyValue_LONG, 0x00008008, NULL},
};

PF_EXPORT const PF_PropertyList PluginPropertyList = {
    16000, 0, (A_long)(sizeof properties / sizeof properties[0]), properties};

PF_EXPORT PF_Err TestModuleMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                PF_ParamDef* params[], PF_LayerDef* output, void* extra)
{
    (void)params;
    (void)output;
    (void)extra;
    if (cmd == PF_Cmd_GLOBAL_SETUP)
    {
        /* WIDE_TIME_INPUT only: CUSTOM_UI is missing on purpose. */
        out_data->out_flags = PF_OutFlag_WIDE_TIME_INPUT;
        out_data->out_flags2 = 0x00008008;
    }
    else if (cmd == PF_Cmd_ABOUT)
    {
        char path[PF_MAX_PATH];
        if (in_data->utils->get_platform_data(in_data->effect_ref,
                                              PF_PlatData_EXE_FILE_PATH_DEPRECATED, path) != 0)
        {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        snprintf(out_data->return_msg, sizeof out_data->return_msg, "from %.240s", path);
    }
    return PF_Err_NONE;
}
