#include "effect/CompressionViewer.h"

void CompressionViewer::OnCommand_GlobalSetup()
{
    Plugin::OnCommand_GlobalSetup();
    // The same global flags as the property list, which the host compares.
    PF_OutData* out = GetOutData();
    if (out == nullptr)
    {
        return;
    }
    out->out_flags |= PF_OutFlag_WIDE_TIME_INPUT | PF_OutFlag_CUSTOM_UI;
    out->out_flags2 |= PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG |
                       PF_OutFlag2_PPRO_DO_NOT_CLONE_SEQUENCE_DATA_FOR_RENDER;
}
