#include "effect/Strings.h"

#include "support/StringsResource.h"

namespace
{

bool RegisterOnce()
{
    Zovazaz::StringsResource& strings = Zovazaz::StringsResource::GetInstance();
    // The first entry goes in narrow, the rest in wide form; the table gives
    // either form on request.
    bool complete = strings.SetId("Ruzirazu", StringEffectName);
    const struct
    {
        StringId id;
        const char16_t* text;
    } wide[] = {
        {StringDescription, u"Previews H.264 video compression, showing the encoded frames in "
                            u"place of the layer."},
        {StringUnknown, u"Unknown"},
        {StringSegmentLength, u"Segment Length"},
        {StringPresets, u"Presets"},
        {StringMode, u"Mode"},
        {StringTargetBitrate, u"Target Bitrate (Kbps)"},
        {StringRateFactor, u"Rate Factor (0 = Max Quality)"},
        {StringKeyFrameInterval, u"Key Frame Every N Frames"},
        {StringUseBFrames, u"Frame Reordering (Use B-Frames)"},
        {StringAbout, u"About"},
        {StringInformation, u"Information"},
        {StringAboutFormat, u"%s v%d.%d\r%s\r%s"},
    };
    for (const auto& entry : wide)
    {
        complete = strings.SetId(Zovazaz::WStringRef(entry.text), entry.id) && complete;
    }
    return complete;
}

// Registered while the module loads, before the host's first command.
const bool registeredAtStartUp = RegisterEffectStrings();

} // namespace

bool RegisterEffectStrings()
{
    static const bool complete = RegisterOnce();
    return complete;
}
